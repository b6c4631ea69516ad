#pragma once
// Ctrl-C during a long command: the first one asks the command to start no
// further device and to finish those running (each ends within its own
// limits); a second one ends the program at once.

#include <memory>

namespace platform {

class InterruptWatch {
public:
    InterruptWatch();   // takes over Ctrl-C (SIGINT) for its lifetime
    ~InterruptWatch();  // gives it back
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Interrupted() const;

private:
    struct Previous;  // the handler it took over from
    std::unique_ptr<Previous> m_previous;
    bool m_installed = false;
};

}  // namespace platform
