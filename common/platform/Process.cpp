#include "common/platform/Process.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

uint32_t ProcessId() {
    return static_cast<uint32_t>(::getpid());
}

bool StdoutTerminalRows(size_t& rows) {
    if (::isatty(STDOUT_FILENO) != 1) {
        return false;
    }
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return false;
    }
    rows = size.ws_row;
    return true;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

}  // namespace platform
