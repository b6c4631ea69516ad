#include "cli/Interrupt.h"

#include <atomic>

namespace cli {
namespace {

std::atomic<bool> g_interrupted{false};  // lock-free: safe to set from the handler

void OnInterrupt(int) {
    g_interrupted.store(true);
}

}  // namespace

InterruptWatch::InterruptWatch() {
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Once only: the next Ctrl-C meets the default action and ends the program.
    action.sa_flags = SA_RESETHAND;
    m_installed = sigaction(SIGINT, &action, &m_previous) == 0;
}

InterruptWatch::~InterruptWatch() {
    if (m_installed) {
        sigaction(SIGINT, &m_previous, nullptr);
    }
}

bool InterruptWatch::Interrupted() const {
    return g_interrupted.load();
}

}  // namespace cli
