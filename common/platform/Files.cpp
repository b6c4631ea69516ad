#include "common/platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace platform {
namespace {

// Closes the descriptor on every path.
struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

}  // namespace

FileReadResult ReadRegularFile(const std::string& path, uint64_t maxBytes,
                               std::vector<uint8_t>& bytes, int& error) {
    error = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return FileReadResult::kCannotRead;
    }
    const FdCloser closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int e = S_ISDIR(info.st_mode) ? EISDIR : errno;
        error = e != 0 ? e : EINVAL;
        return FileReadResult::kCannotRead;
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        return FileReadResult::kTooLarge;
    }
    std::vector<uint8_t> content(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
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
    const std::string temporary = path + ".part-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool AppendToPrivateFile(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == text.size();
}

bool IsAbsolutePath(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

}  // namespace platform
