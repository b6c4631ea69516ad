// Files on Windows: UTF-8 paths through the wide-character interfaces, so a
// name in any language opens; errors as errno values, as on Linux.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "common/platform/Files.h"
#include "common/platform/WinText.h"

namespace platform {
namespace {

struct FdCloser {
    int fd;
    ~FdCloser() { ::_close(fd); }
};

// The errno value of a Windows error the file calls give.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

bool WriteAll(HANDLE file, std::string_view bytes, int& error) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, piece, &written, nullptr) || written == 0) {
            error = ErrnoOf(::GetLastError());
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

FileReadResult ReadRegularFile(const std::string& path, uint64_t maxBytes,
                               std::vector<uint8_t>& bytes, int& error) {
    error = 0;
    const std::wstring wide = Utf8ToWide(path);
    struct _stat64 info {};
    if (wide.empty() || ::_wstat64(wide.c_str(), &info) != 0) {
        error = errno != 0 ? errno : ENOENT;
        return FileReadResult::kCannotRead;
    }
    if ((info.st_mode & _S_IFDIR) != 0) {
        error = EISDIR;
        return FileReadResult::kCannotRead;
    }
    if ((info.st_mode & _S_IFREG) == 0) {
        error = EINVAL;
        return FileReadResult::kCannotRead;
    }
    const int fd = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        error = errno;
        return FileReadResult::kCannotRead;
    }
    const FdCloser closer{fd};
    const int64_t size = ::_filelengthi64(fd);
    if (size < 0) {
        error = errno;
        return FileReadResult::kCannotRead;
    }
    if (static_cast<uint64_t>(size) > maxBytes) {
        return FileReadResult::kTooLarge;
    }
    std::vector<uint8_t> content(static_cast<size_t>(size));
    size_t done = 0;
    while (done < content.size()) {
        const unsigned piece =
            static_cast<unsigned>(std::min<size_t>(content.size() - done, 1u << 30));
        const int n = ::_read(fd, content.data() + done, piece);
        if (n < 0) {
            error = errno;
            return FileReadResult::kCannotRead;
        }
        if (n == 0) {
            break;  // the file shrank while we read it: take what is there
        }
        done += static_cast<size_t>(n);
    }
    content.resize(done);
    bytes = std::move(content);
    return FileReadResult::kOk;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes, int& error) {
    error = 0;
    const std::wstring target = Utf8ToWide(path);
    if (target.empty()) {
        error = ENOENT;
        return false;
    }
    const std::wstring temporary = target + L".part-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrnoOf(::GetLastError());
        return false;
    }
    const bool written = WriteAll(file, bytes, error);
    if (!::CloseHandle(file) && written) {
        error = ErrnoOf(::GetLastError());
    }
    // MoveFileEx replaces an existing target, where rename would refuse.
    if (error == 0 && !::MoveFileExW(temporary.c_str(), target.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ErrnoOf(::GetLastError());
    }
    if (error != 0) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

bool AppendToPrivateFile(const std::string& path, std::string_view text) {
    // A new file inherits the folder's access list: the user's profile
    // folders are the user's own.
    HANDLE file = ::CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    int error = 0;
    const bool written = WriteAll(file, text, error);
    ::CloseHandle(file);
    return written;
}

bool IsAbsolutePath(std::string_view path) {
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                     (path[1] == '\\' || path[1] == '/');
    return drive || unc || (!path.empty() && path[0] == '/');
}

}  // namespace platform
