#include <windows.h>  // first: shellapi.h needs it

#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "common/platform/Process.h"
#include "common/platform/WinText.h"

namespace platform {

uint32_t ProcessId() {
    return static_cast<uint32_t>(::GetCurrentProcessId());
}

bool StdoutTerminalRows(size_t& rows) {
    if (::_isatty(::_fileno(stdout)) == 0) {
        return false;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        return false;
    }
    rows = static_cast<size_t>(info.srWindow.Bottom - info.srWindow.Top + 1);
    return true;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(WideToUtf8(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

void UseUtf8Console() {
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
}

}  // namespace platform
