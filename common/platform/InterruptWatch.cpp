#include "common/platform/InterruptWatch.h"

#include <signal.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<bool> g_interrupted{false};  // lock-free: safe to set from the handler

void OnInterrupt(int) {
    g_interrupted.store(true);
}

}  // namespace

struct InterruptWatch::Previous {
    struct sigaction action {};
};

InterruptWatch::InterruptWatch() : m_previous(std::make_unique<Previous>()) {
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Once only: the next Ctrl-C meets the default action and ends the program.
    action.sa_flags = SA_RESETHAND;
    m_installed = sigaction(SIGINT, &action, &m_previous->action) == 0;
}

InterruptWatch::~InterruptWatch() {
    if (m_installed) {
        sigaction(SIGINT, &m_previous->action, nullptr);
    }
}

bool InterruptWatch::Interrupted() const {
    return g_interrupted.load();
}

}  // namespace platform
