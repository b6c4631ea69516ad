#include "common/platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace platform
