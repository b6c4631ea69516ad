#include "common/platform/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

WakeEvent::WakeEvent() : m_handle(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
    }
}

void WakeEvent::Signal() {
    const uint64_t one = 1;
    // A full counter means a wake is pending already.
    (void)!::write(static_cast<int>(m_handle), &one, sizeof one);
}

void WakeEvent::Drain() {
    uint64_t value = 0;
    (void)!::read(static_cast<int>(m_handle), &value, sizeof value);
}

}  // namespace platform
