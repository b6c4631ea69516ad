#include "common/link/SWL_ConnectProc.h"

#include <arpa/inet.h>
#include <strings.h>
#include <sys/socket.h>

#include <cerrno>
#include <new>

#include "common/link/SWL_Public.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/HostAddresses.h"

namespace {

// The local address that last gave a working bound connect, shared by every
// connection of the process.
std::mutex g_preferredMutex;
std::string g_preferred;  // guarded by g_preferredMutex

void SetPreferred(const std::string& address) {
    std::lock_guard<std::mutex> lock(g_preferredMutex);
    g_preferred = address;
}

// The tick as the diagnostics have always shown it: 32 bits, signed.
int TickText(platform::Clock& clock) {
    return static_cast<int>(static_cast<uint32_t>(clock.TickMs()));
}

}  // namespace

std::vector<uint32_t> ConnectSlices(uint32_t timeoutMs) {
    std::vector<uint32_t> slices(timeoutMs / CConnectProc::kSliceMs, CConnectProc::kSliceMs);
    if (timeoutMs % CConnectProc::kSliceMs != 0) {
        slices.push_back(timeoutMs % CConnectProc::kSliceMs);
    }
    return slices;
}

std::string CConnectProc::PreferredLocalAddress() {
    std::lock_guard<std::mutex> lock(g_preferredMutex);
    return g_preferred;
}

void CConnectProc::ResetPreferredLocalAddress() {
    SetPreferred(std::string());
}

CConnectProc* CConnectProc::Create(const char* address, uint16_t port, ConnectProcEnv env) {
    return new (std::nothrow) CConnectProc(address, port, std::move(env));
}

CConnectProc::CConnectProc(const char* address, uint16_t port, ConnectProcEnv env)
    : m_addressText(address != nullptr ? address : ""),
      m_port(port),
      m_clock(env.clock != nullptr ? *env.clock : platform::SystemClock()),
      m_hostAddresses(env.hostAddresses
                          ? std::move(env.hostAddresses)
                          : std::function<std::vector<std::string>()>(platform::HostIPv4Addresses)),
      m_waitConnected(env.waitConnected ? std::move(env.waitConnected)
                                        : std::function<int(int, uint32_t)>(SWL_WaitConnected)),
      m_variant(env.variant),
      m_localPort(env.localPort) {
    // A longer text is no IPv4 address; cutting it short could name another
    // device, so it is refused instead.
    m_addressValid = m_addressText.size() <= kMaxAddressText &&
                     inet_pton(AF_INET, m_addressText.c_str(), &m_address) == 1;
}

CConnectProc::~CConnectProc() {
    if (m_socket >= 0) {
        SWL_CloseSocket(m_socket);
    }
}

int CConnectProc::Destroy() {
    m_cancel.store(true);
    delete this;
    return 0;
}

int CConnectProc::Line(int common, int cfgpush) const {
    return m_variant == ConnectVariant::Cfgpush ? cfgpush : common;
}

int CConnectProc::HandOver() {
    const int sock = m_socket;
    m_socket = -1;
    m_socketUsed = false;
    return sock;
}

bool CConnectProc::WaitInSlices(uint32_t timeoutMs) {
    for (const uint32_t slice : ConnectSlices(timeoutMs)) {
        if (m_waitConnected(m_socket, slice) == 0) {
            return true;
        }
        if (m_cancel.load()) {
            return false;
        }
    }
    return false;
}

int CConnectProc::Connect(uint32_t timeoutMs) {
    std::lock_guard<std::mutex> lock(m_connectMutex);
    platform::DiagPrintf("begin Connect %d\n", TickText(m_clock));
    if (!m_addressValid) {
        return -1;
    }
    if (m_socket < 0) {
        m_socket = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
        m_socketUsed = false;
        if (m_socket < 0) {
            SWL_PrintError(kSwlConnectProcSource, Line(207, 210));
            return -1;
        }
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(m_port);
    remote.sin_addr = m_address;

    if (!PreferredLocalAddress().empty()) {
        return AdapterProcedure(remote, timeoutMs);
    }
    m_socketUsed = true;
    SWL_Connect(m_socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote, 0);
    const bool connected = WaitInSlices(timeoutMs);
    platform::DiagPrintf("end Connect %d\n", TickText(m_clock));
    if (connected) {
        return HandOver();
    }
    return AdapterProcedure(remote, timeoutMs);
}

bool CConnectProc::PrepareAttemptSocket() {
    // The Cfgpush variant keeps the socket it holds, but only while that
    // socket has not been through a connect: the system does not bind a
    // socket that already has (or had) a connect under way.
    if (m_variant == ConnectVariant::Cfgpush && m_socket >= 0 && !m_socketUsed) {
        return true;
    }
    if (m_socket >= 0) {
        SWL_CloseSocket(m_socket);
    }
    m_socket = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    m_socketUsed = false;
    return m_socket >= 0;
}

bool CConnectProc::BindLocal(const std::string& local, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, local.c_str(), &address.sin_addr) != 1) {
        errno = EINVAL;
        return false;
    }
    return SWL_Bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool CConnectProc::PortRefused(int err) {
    return err == EADDRINUSE || err == EADDRNOTAVAIL;
}

bool CConnectProc::ReopenForEphemeralPort(const std::string& local) {
    if (m_localPort == 0) {
        return false;
    }
    platform::DiagPrintf("local port %u refused, connecting from %s with a free port\n",
                         static_cast<unsigned>(m_localPort), local.c_str());
    if (m_socket >= 0) {
        SWL_CloseSocket(m_socket);
    }
    m_socket = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    m_socketUsed = false;
    return m_socket >= 0 && BindLocal(local, 0);
}

int CConnectProc::AdapterProcedure(const sockaddr_in& remote, uint32_t timeoutMs) {
    const std::vector<std::string> hosts = m_hostAddresses();
    if (hosts.empty()) {
        SWL_PrintError(kSwlConnectProcSource, 88);
        return -1;
    }
    const uint64_t start = m_clock.TickMs();
    int index = 0;
    size_t nextHost = 0;
    for (;;) {
        if (m_cancel.load()) {
            return -1;
        }
        std::string local = PreferredLocalAddress();
        if (local.empty()) {
            if (nextHost >= hosts.size()) {
                return -1;
            }
            local = hosts[nextHost++];
        }
        platform::DiagPrintf(
            "\r\nip index = %d**********************************************ip=%s\r\n", index,
            local.c_str());
        if (m_clock.TickMs() - start >= kAdapterLimitMs) {
            return -1;
        }
        m_clock.SleepMs(kAttemptPauseMs);
        if (index > kMaxAttemptIndex) {
            return -1;
        }
        ++index;
        if (strcasecmp(local.c_str(), "0.0.0.0") == 0) {
            continue;
        }
        if (m_cancel.load()) {
            return -1;
        }
        if (!PrepareAttemptSocket()) {
            SWL_PrintError(kSwlConnectProcSource, Line(123, 126));
            return -1;
        }
        bool bound = BindLocal(local, m_localPort);
        bool ephemeral = false;
        if (!bound && PortRefused(errno) && ReopenForEphemeralPort(local)) {
            bound = ephemeral = true;
        }
        if (!bound) {
            const int err = errno;
            platform::DiagPrintf(
                "\r\nip index = %d**********************************************ip=%s toip:%s "
                "WSAGetLastError:%d\r\n",
                index, local.c_str(), m_addressText.c_str(), err);
            errno = err;
            SWL_PrintError(kSwlConnectProcSource, Line(177, 180));
            continue;
        }
        m_socketUsed = true;
        if (SWL_Connect(m_socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote, 0) != 0 &&
            !ephemeral && PortRefused(errno) && ReopenForEphemeralPort(local)) {
            // Our own earlier connection to this device still holds the
            // fixed port (we closed first, so it waits out TIME_WAIT).
            m_socketUsed = true;
            SWL_Connect(m_socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote, 0);
        }
        if (WaitInSlices(timeoutMs)) {
            SetPreferred(local);
            return HandOver();
        }
    }
}
