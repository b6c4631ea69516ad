// Ctrl-C on Windows: a console control handler. The first Ctrl-C (or
// Ctrl-Break) is taken and noted; the handler then steps aside, so the next
// one meets the default handler, which ends the process.
#include <windows.h>

#include <atomic>

#include "common/platform/InterruptWatch.h"

namespace platform {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_armed{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) {
        return FALSE;  // closing the console, logging off: the default handling
    }
    if (!g_armed.exchange(false)) {
        return FALSE;  // the second one ends the program
    }
    g_interrupted.store(true);
    return TRUE;
}

}  // namespace

struct InterruptWatch::Previous {};

InterruptWatch::InterruptWatch() {
    g_interrupted.store(false);
    g_armed.store(true);
    m_installed = ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != FALSE;
}

InterruptWatch::~InterruptWatch() {
    g_armed.store(false);
    if (m_installed) {
        ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    }
}

bool InterruptWatch::Interrupted() const {
    return g_interrupted.load();
}

}  // namespace platform
