#pragma once
// Posted window messages between threads and a window, as Qt events. A
// worker or the search callback posts (message, wParam, lParam) through the
// window's mailbox; the window's thread receives a WindowMessageEvent.
//
// A heap block carried in lParam belongs to the receiving handler once it
// calls TakeLParam. Until then the event owns it: an event that is never
// handled (the window closed first, or the handler ignored it) frees the
// block with the poster's free function when it is deleted. Posting to a
// window that is gone frees the block at once and reports false.

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <memory>
#include <mutex>

namespace ui {

// Frees the block of a message (may look at wParam to know what it is).
using MessageBlockFree = void (*)(uintptr_t wParam, intptr_t lParam);

class WindowMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();

    WindowMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam,
                       MessageBlockFree freeBlock);
    ~WindowMessageEvent() override;
    WindowMessageEvent(const WindowMessageEvent&) = delete;
    WindowMessageEvent& operator=(const WindowMessageEvent&) = delete;

    uint32_t Message() const { return m_message; }
    uintptr_t WParam() const { return m_wParam; }
    intptr_t LParam() const { return m_lParam; }

    // Hands the block to the caller: the event no longer frees it.
    intptr_t TakeLParam();

private:
    uint32_t m_message;
    uintptr_t m_wParam;
    intptr_t m_lParam;
    MessageBlockFree m_freeBlock;
};

// The address of one window for posting from any thread. The window creates
// it, keeps it in a shared pointer and detaches it before it goes away;
// posters keep their own shared pointer, so the mailbox outlives both.
class WindowMailbox {
public:
    explicit WindowMailbox(QObject* window) : m_window(window) {}
    WindowMailbox(const WindowMailbox&) = delete;
    WindowMailbox& operator=(const WindowMailbox&) = delete;

    // Posts the message to the window's thread. False when the window has
    // detached; the block is then freed here.
    bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam,
              MessageBlockFree freeBlock = nullptr);

    // From here on posts are refused. Called by the window, on its thread.
    void Detach();
    bool Attached() const;

private:
    mutable std::mutex m_mutex;
    QObject* m_window;
};

}  // namespace ui
