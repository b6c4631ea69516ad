// Windows' side of the user's folders, the process's rights and running
// another program. Windows has no adapter helper: adding an address needs an
// administrator there, so a process has the network rights when it runs
// elevated, and no helper program is ever run.
#include <windows.h>  // first: shlobj.h needs it

#include <shlobj.h>

#include <string>
#include <vector>

#include "common/platform/ChildProcess.h"
#include "common/platform/Privileges.h"
#include "common/platform/UserDirectories.h"
#include "common/platform/WinText.h"

namespace platform {
namespace {

bool Elevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD got = 0;
    const bool ok =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &got) != 0;
    ::CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

DWORD Attributes(const std::string& path) {
    return ::GetFileAttributesW(Utf8ToWide(path).c_str());
}

}  // namespace

// --- The user's folders -----------------------------------------------------

std::string UserStateDirectory() {
    PWSTR folder = nullptr;
    std::string path;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        path = WideToUtf8(folder);
    }
    ::CoTaskMemFree(folder);
    return path;
}

bool MakeUserDirectory(const std::string& path) {
    // Each missing folder from the top; a new folder takes its parent's
    // permissions (the user's own profile).
    for (size_t at = path.find_first_of("\\/", 3);; at = path.find_first_of("\\/", at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!part.empty()) {
            ::CreateDirectoryW(Utf8ToWide(part).c_str(), nullptr);
        }
        if (at == std::string::npos) {
            break;
        }
    }
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ProgramName() {
    std::string path = ExecutablePath();
    const size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name.empty() ? "camprep" : name;
}

// --- Rights -------------------------------------------------------------------

bool HasNetworkPrivileges() {
    return Elevated();
}

bool RunningAsRoot() {
    return Elevated();
}

bool GroupExists(const std::string& /*group*/) {
    return false;  // no helper, no group
}

bool ProcessInGroup(const std::string& /*group*/) {
    return false;
}

std::string UserName() {
    wchar_t name[256];
    DWORD size = sizeof name / sizeof name[0];
    return ::GetUserNameW(name, &size)
               ? WideToUtf8(std::wstring_view(name, size > 0 ? size - 1 : 0))
               : std::string();
}

bool KeepNetworkCapabilities(bool /*netAdmin*/, bool /*netRaw*/) {
    return true;  // no capabilities to drop
}

// --- Other programs -------------------------------------------------------------

ChildRun RunChild(const std::string& /*program*/, const std::vector<std::string>& /*args*/,
                  uint32_t /*limitMs*/) {
    ChildRun run;
    run.error = ERROR_NOT_SUPPORTED;  // nothing on Windows runs another program
    return run;
}

bool CanExecute(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool PathExists(const std::string& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD got =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0) {
            return std::string();
        }
        if (got < buffer.size()) {
            return WideToUtf8(std::wstring_view(buffer.data(), got));
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform
