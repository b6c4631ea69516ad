#include "ui/WindowMessage.h"

#include <QCoreApplication>

namespace ui {

QEvent::Type WindowMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WindowMessageEvent::WindowMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam,
                                       MessageBlockFree freeBlock)
    : QEvent(EventType()),
      m_message(message),
      m_wParam(wParam),
      m_lParam(lParam),
      m_freeBlock(freeBlock) {}

WindowMessageEvent::~WindowMessageEvent() {
    if (m_freeBlock != nullptr) {
        m_freeBlock(m_wParam, m_lParam);
    }
}

intptr_t WindowMessageEvent::TakeLParam() {
    m_freeBlock = nullptr;
    return m_lParam;
}

bool WindowMailbox::Post(uint32_t message, uintptr_t wParam, intptr_t lParam,
                         MessageBlockFree freeBlock) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_window == nullptr) {
        if (freeBlock != nullptr) {
            freeBlock(wParam, lParam);
        }
        return false;
    }
    // The posted event belongs to Qt's queue; if the window is destroyed
    // before it is delivered, Qt deletes it and its block goes with it.
    QCoreApplication::postEvent(m_window,
                                new WindowMessageEvent(message, wParam, lParam, freeBlock));
    return true;
}

void WindowMailbox::Detach() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_window = nullptr;
}

bool WindowMailbox::Attached() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_window != nullptr;
}

}  // namespace ui
