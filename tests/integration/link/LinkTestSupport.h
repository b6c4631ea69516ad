#pragma once
// Helpers for the link tests: socket pairs and loopback listeners, frames
// built byte by byte (independently of the link's own encoder), and a
// recorder for the link callback.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace linktest {

using Bytes = std::vector<uint8_t>;

inline void PutLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// "1111", length, payload.
inline Bytes Frame(const Bytes& payload) {
    Bytes out{'1', '1', '1', '1'};
    PutLe32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes EmptyFrame() {
    return Bytes{'1', '1', '1', '1', 0, 0, 0, 0};
}

// A fragment frame: marker, the six header words, the fragment's bytes.
// length is the declared fragment length (normally bytes.size()).
inline Bytes Fragment(uint32_t id, uint32_t count, uint32_t total, uint32_t number, uint32_t slot,
                      const Bytes& bytes, int64_t length = -1) {
    Bytes out{'1', '1', '1', '1', 0xFF, 0xFF, 0xFF, 0xFF};
    PutLe32(out, id);
    PutLe32(out, count);
    PutLe32(out, total);
    PutLe32(out, number);
    PutLe32(out, length < 0 ? static_cast<uint32_t>(bytes.size()) : static_cast<uint32_t>(length));
    PutLe32(out, slot);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Writes everything (the test's end is blocking).
inline bool WriteAll(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly n bytes within timeoutMs; fewer on time-out or close.
inline Bytes ReadN(int fd, size_t n, int timeoutMs = 10000) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        uint8_t buf[4096];
        const size_t want = std::min(sizeof buf, n - out.size());
        const ssize_t r = ::recv(fd, buf, want, 0);
        if (r <= 0) {
            break;
        }
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

// Waits (bounded) until everything that arrived on fd has been read by its
// owner: the reader is then past those bytes.
inline bool WaitUntilRead(int fd, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, FIONREAD, &pending) != 0) {
            return false;
        }
        if (pending == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A connected pair of stream sockets: `link` goes to the CTcpLink, the test
// plays the device on `peer`.
struct SocketPair {
    int link = -1;
    int peer = -1;
    SocketPair() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            link = fds[0];
            peer = fds[1];
        }
    }
    ~SocketPair() { ClosePeer(); }
    void ClosePeer() {
        if (peer >= 0) {
            ::close(peer);
            peer = -1;
        }
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
};

// A listening TCP socket on a loopback address, on a port of the system's choice.
struct Listener {
    int fd = -1;
    uint16_t port = 0;
    explicit Listener(const char* ip = "127.0.0.1") {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, ip, &a.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    // The accepted socket (or -1) and the peer's address.
    int Accept(sockaddr_in* peer = nullptr, int timeoutMs = 10000) const {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0) {
            return -1;
        }
        sockaddr_in a{};
        socklen_t len = sizeof a;
        const int s = ::accept4(fd, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
        if (peer != nullptr) {
            *peer = a;
        }
        return s;
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
};

// A loopback port where nothing listens: connects to it are refused.
inline uint16_t ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

inline std::string AddressText(const sockaddr_in& a) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
}

// Records what the link hands to its callback.
class Recorder {
public:
    static void Callback(void* user, uint8_t* message, int length) {
        static_cast<Recorder*>(user)->Record(message, length);
    }
    void Record(uint8_t* message, int length) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (message == nullptr) {
            ++m_broken;
            m_brokenLength = length;
        } else {
            m_messages.emplace_back(message, message + length);
        }
        m_cv.notify_all();
    }
    // Waits (bounded) until at least n messages came.
    bool WaitMessages(size_t n, int timeoutMs = 10000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return m_messages.size() >= n; });
    }
    bool WaitBroken(int timeoutMs = 10000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return m_broken > 0; });
    }
    int BrokenCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_broken;
    }
    int BrokenLength() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_brokenLength;
    }
    std::vector<Bytes> Messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Bytes> m_messages;
    int m_broken = 0;
    int m_brokenLength = 0;
};

}  // namespace linktest
