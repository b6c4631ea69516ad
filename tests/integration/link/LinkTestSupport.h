#pragma once
// Helpers for the link tests: socket pairs and loopback listeners, frames
// built byte by byte (independently of the link's own encoder), and a
// recorder for the link callback.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/link/SWL_Public.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

// The tests' own sockets: the socket layer's handle (a descriptor on Linux,
// a SOCKET on Windows), and the few calls the tests make on them directly.
using Socket = SWL_SOCKET;

#ifdef _WIN32
// Winsock for the test program's own sockets.
inline const bool kWinsockStarted = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();

inline void CloseSocket(Socket s) {
    ::closesocket(s);
}
inline void ShutdownBoth(Socket s) {
    ::shutdown(s, SD_BOTH);
}
// >0 when readable (or closed) within timeoutMs.
inline int PollIn(Socket s, int timeoutMs) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = POLLRDNORM;
    return ::WSAPoll(&p, 1, timeoutMs);
}
inline long SendSome(Socket s, const uint8_t* data, size_t n) {
    return ::send(s, reinterpret_cast<const char*>(data), static_cast<int>(n), 0);
}
inline long RecvSome(Socket s, uint8_t* buffer, size_t n) {
    return ::recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(n), 0);
}
// Without waiting, also on a blocking socket.
inline long RecvNow(Socket s, uint8_t* buffer, size_t n) {
    if (PollIn(s, 0) <= 0) {
        ::WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    return RecvSome(s, buffer, n);
}
inline bool LastErrorIsReset() {
    return ::WSAGetLastError() == WSAECONNRESET || ::WSAGetLastError() == WSAECONNABORTED;
}
inline bool PendingBytes(Socket s, int& pending) {
    u_long count = 0;
    const bool ok = ::ioctlsocket(s, FIONREAD, &count) == 0;
    pending = static_cast<int>(count);
    return ok;
}
inline void SetNonBlocking(Socket s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}
#else
inline void CloseSocket(Socket s) {
    ::close(s);
}
inline void ShutdownBoth(Socket s) {
    ::shutdown(s, SHUT_RDWR);
}
inline int PollIn(Socket s, int timeoutMs) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs);
}
inline long SendSome(Socket s, const uint8_t* data, size_t n) {
    return ::send(s, data, n, MSG_NOSIGNAL);
}
inline long RecvSome(Socket s, uint8_t* buffer, size_t n) {
    return ::recv(s, buffer, n, 0);
}
inline long RecvNow(Socket s, uint8_t* buffer, size_t n) {
    return ::recv(s, buffer, n, MSG_DONTWAIT);
}
inline bool LastErrorIsReset() {
    return errno == ECONNRESET;
}
inline bool PendingBytes(Socket s, int& pending) {
    return ::ioctl(s, FIONREAD, &pending) == 0;
}
inline void SetNonBlocking(Socket s) {
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
}
#endif

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
inline bool WriteAll(Socket fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const long n = SendSome(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly n bytes within timeoutMs; fewer on time-out or close.
inline Bytes ReadN(Socket fd, size_t n, int timeoutMs = 10000) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        if (PollIn(fd, static_cast<int>(left.count())) <= 0) {
            break;
        }
        uint8_t buf[4096];
        const size_t want = std::min(sizeof buf, n - out.size());
        const long r = RecvSome(fd, buf, want);
        if (r <= 0) {
            break;
        }
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

// Waits (bounded) until everything that arrived on fd has been read by its
// owner: the reader is then past those bytes.
inline bool WaitUntilRead(Socket fd, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int pending = 0;
        if (!PendingBytes(fd, pending)) {
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

// A listening TCP socket on a loopback address, on a port of the system's choice.
struct Listener {
    Socket fd = SWL_INVALID_SOCKET;
    uint16_t port = 0;
    explicit Listener(const char* ip = "127.0.0.1") {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, ip, &a.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
            CloseSocket(fd);
            fd = SWL_INVALID_SOCKET;
            return;
        }
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() {
        if (fd != SWL_INVALID_SOCKET) {
            CloseSocket(fd);
        }
    }
    // The accepted socket (or SWL_INVALID_SOCKET) and the peer's address.
    Socket Accept(sockaddr_in* peer = nullptr, int timeoutMs = 10000) const {
        if (PollIn(fd, timeoutMs) <= 0) {
            return SWL_INVALID_SOCKET;
        }
        sockaddr_in a{};
        socklen_t len = sizeof a;
        const Socket s = ::accept(fd, reinterpret_cast<sockaddr*>(&a), &len);
        if (peer != nullptr) {
            *peer = a;
        }
        return s;
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
};

// A connected pair of stream sockets: `link` goes to the CTcpLink, the test
// plays the device on `peer`. A Unix socket pair on Linux; on Windows two
// ends of a loopback connection, the link's end non-blocking as the socket
// layer makes its sockets.
struct SocketPair {
    Socket link = SWL_INVALID_SOCKET;
    Socket peer = SWL_INVALID_SOCKET;
    SocketPair() {
#ifdef _WIN32
        const Listener listener;
        link = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(listener.port);
        if (::connect(link, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            CloseSocket(link);
            link = SWL_INVALID_SOCKET;
            return;
        }
        peer = listener.Accept();
        SetNonBlocking(link);
#else
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            link = fds[0];
            peer = fds[1];
        }
#endif
    }
    ~SocketPair() {
        ClosePeer();
    }
    void ClosePeer() {
        if (peer != SWL_INVALID_SOCKET) {
            CloseSocket(peer);
            peer = SWL_INVALID_SOCKET;
        }
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
};

// A loopback port where nothing listens: connects to it are refused.
inline uint16_t ClosedPort() {
    const Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    CloseSocket(s);
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
