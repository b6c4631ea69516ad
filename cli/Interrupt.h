#pragma once
// Ctrl-C during a long command: the first one asks the command to start no
// further device and to finish those running (each ends within its own
// limits); a second one ends the program at once.

#include <csignal>

namespace cli {

class InterruptWatch {
public:
    InterruptWatch();   // takes over SIGINT for its lifetime
    ~InterruptWatch();  // gives it back
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Interrupted() const;

private:
    struct sigaction m_previous {};
    bool m_installed = false;
};

}  // namespace cli
