#include <windows.h>  // first: shellapi.h needs it

#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

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

namespace {

// The console's code pages before the program changed them: the console
// outlives the program, and its other programs expect their own.
UINT g_outputCodePage = 0;
UINT g_inputCodePage = 0;

void RestoreConsole() {
    ::SetConsoleOutputCP(g_outputCodePage);
    ::SetConsoleCP(g_inputCodePage);
}

}  // namespace

void UseUtf8Console() {
    if (g_outputCodePage != 0) {
        return;
    }
    g_outputCodePage = ::GetConsoleOutputCP();
    g_inputCodePage = ::GetConsoleCP();
    if (g_outputCodePage == 0) {
        return;  // no console: output goes to a file or a pipe as it is
    }
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
    std::atexit(RestoreConsole);
}

}  // namespace platform
