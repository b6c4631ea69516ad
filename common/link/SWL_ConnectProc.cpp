#include "common/link/SWL_ConnectProc.h"

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

// Forgets the preferred address, unless another connection has meanwhile
// replaced it with one that works.
void ForgetPreferred(const std::string& address) {
    std::lock_guard<std::mutex> lock(g_preferredMutex);
    if (g_preferred == address) {
        g_preferred.clear();
    }
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

void CConnectProc::SetPreferredLocalAddress(const std::string& address) {
    SetPreferred(address);
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
      m_waitConnected(env.waitConnected
                          ? std::move(env.waitConnected)
                          : std::function<int(SWL_SOCKET, uint32_t)>(SWL_WaitConnected)),
      m_variant(env.variant),
      m_localPort(env.localPort) {
    // A longer text is no IPv4 address; cutting it short could name another
    // device, so it is refused instead.
    // 0.0.0.0 (and the rest of 0.0.0.0/8) is no device: the system would
    // deliver the connect to this host itself, and whatever listens there
    // would be taken for the device.
    m_addressValid = m_addressText.size() <= kMaxAddressText &&
                     SWL_MakeAddr(m_addressText.c_str(), m_port, m_remote) && (m_remote.ip >> 24) != 0;
}

CConnectProc::~CConnectProc() {
    if (m_socket != SWL_INVALID_SOCKET) {
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

SWL_SOCKET CConnectProc::HandOver() {
    const SWL_SOCKET sock = m_socket;
    m_socket = SWL_INVALID_SOCKET;
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

SWL_SOCKET CConnectProc::Connect(uint32_t timeoutMs) {
    std::lock_guard<std::mutex> lock(m_connectMutex);
    platform::DiagPrintf("begin Connect %d\n", TickText(m_clock));
    if (!m_addressValid) {
        return SWL_INVALID_SOCKET;
    }
    if (m_socket == SWL_INVALID_SOCKET) {
        m_socket = SWL_CreateTcpSocket();
        m_socketUsed = false;
        if (m_socket == SWL_INVALID_SOCKET) {
            SWL_PrintError(kSwlConnectProcSource, Line(207, 210));
            return SWL_INVALID_SOCKET;
        }
    }
    if (!PreferredLocalAddress().empty()) {
        m_forgotPreferred = false;
        const SWL_SOCKET sock = AdapterProcedure(timeoutMs, true);
        if (sock != SWL_INVALID_SOCKET || !m_forgotPreferred || m_cancel.load()) {
            return sock;
        }
        // The preferred address has left the host: connect as a process
        // that never had one, from a fresh socket (the held one may carry a
        // failed bind).
        SWL_CloseSocket(m_socket);
        m_socket = SWL_CreateTcpSocket();
        m_socketUsed = false;
        if (m_socket == SWL_INVALID_SOCKET) {
            SWL_PrintError(kSwlConnectProcSource, Line(207, 210));
            return SWL_INVALID_SOCKET;
        }
    }
    if (PlainConnect(timeoutMs)) {
        return HandOver();
    }
    return AdapterProcedure(timeoutMs, false);
}

bool CConnectProc::PlainConnect(uint32_t timeoutMs) {
    m_socketUsed = true;
    SWL_Connect(m_socket, m_remote, 0);
    const bool connected = WaitInSlices(timeoutMs);
    platform::DiagPrintf("end Connect %d\n", TickText(m_clock));
    return connected;
}

bool CConnectProc::PrepareAttemptSocket() {
    // The Cfgpush variant keeps the socket it holds, but only while that
    // socket has not been through a connect: the system does not bind a
    // socket that already has (or had) a connect under way.
    if (m_variant == ConnectVariant::Cfgpush && m_socket != SWL_INVALID_SOCKET && !m_socketUsed) {
        return true;
    }
    if (m_socket != SWL_INVALID_SOCKET) {
        SWL_CloseSocket(m_socket);
    }
    m_socket = SWL_CreateTcpSocket();
    m_socketUsed = false;
    return m_socket != SWL_INVALID_SOCKET;
}

bool CConnectProc::BindLocal(const std::string& local, uint16_t port) {
    SWL_ADDR address;
    if (!SWL_MakeAddr(local.c_str(), port, address)) {
        SWL_SetLastError(SWL_ERROR::InvalidArgument);
        return false;
    }
    return SWL_Bind(m_socket, address) == 0;
}

bool CConnectProc::PortRefused(SWL_ERROR err) {
    return err == SWL_ERROR::AddressInUse || err == SWL_ERROR::AddressNotAvailable;
}

bool CConnectProc::ReopenForEphemeralPort(const std::string& local) {
    if (m_localPort == 0) {
        return false;
    }
    platform::DiagPrintf("local port %u refused, connecting from %s with a free port\n",
                         static_cast<unsigned>(m_localPort), local.c_str());
    if (m_socket != SWL_INVALID_SOCKET) {
        SWL_CloseSocket(m_socket);
    }
    m_socket = SWL_CreateTcpSocket();
    m_socketUsed = false;
    return m_socket != SWL_INVALID_SOCKET && BindLocal(local, 0);
}

SWL_SOCKET CConnectProc::AdapterProcedure(uint32_t timeoutMs, bool viaPreferred) {
    const std::vector<std::string> hosts = m_hostAddresses();
    if (hosts.empty()) {
        SWL_PrintError(kSwlConnectProcSource, 88);
        return SWL_INVALID_SOCKET;
    }
    const uint64_t start = m_clock.TickMs();
    int index = 0;
    size_t nextHost = 0;
    for (;;) {
        if (m_cancel.load()) {
            return SWL_INVALID_SOCKET;
        }
        std::string local = PreferredLocalAddress();
        const bool preferred = !local.empty();
        if (!preferred) {
            if (nextHost >= hosts.size()) {
                return SWL_INVALID_SOCKET;
            }
            local = hosts[nextHost++];
        }
        platform::DiagPrintf(
            "\r\nip index = %d**********************************************ip=%s\r\n", index,
            local.c_str());
        if (m_clock.TickMs() - start >= kAdapterLimitMs) {
            return SWL_INVALID_SOCKET;
        }
        m_clock.SleepMs(kAttemptPauseMs);
        if (index > kMaxAttemptIndex) {
            return SWL_INVALID_SOCKET;
        }
        ++index;
        if (local == "0.0.0.0") {
            continue;
        }
        if (m_cancel.load()) {
            return SWL_INVALID_SOCKET;
        }
        if (!PrepareAttemptSocket()) {
            SWL_PrintError(kSwlConnectProcSource, Line(123, 126));
            return SWL_INVALID_SOCKET;
        }
        bool bound = BindLocal(local, m_localPort);
        bool ephemeral = false;
        if (!bound && PortRefused(SWL_LastError()) && ReopenForEphemeralPort(local)) {
            bound = ephemeral = true;
        }
        if (!bound) {
            platform::DiagPrintf(
                "\r\nip index = %d**********************************************ip=%s toip:%s "
                "WSAGetLastError:%d\r\n",
                index, local.c_str(), m_addressText.c_str(), SWL_LastErrorCode());
            SWL_PrintError(kSwlConnectProcSource, Line(177, 180));
            if (preferred) {
                // It worked once and cannot even be bound now: it has left
                // the host. Keeping it would fail every later connection.
                platform::DiagPrintf("preferred local address %s is gone, forgotten\n", local.c_str());
                ForgetPreferred(local);
                if (viaPreferred) {
                    m_forgotPreferred = true;
                    return SWL_INVALID_SOCKET;  // the plain connect comes next
                }
            }
            continue;
        }
        m_socketUsed = true;
        if (SWL_Connect(m_socket, m_remote, 0) != 0 && !ephemeral && PortRefused(SWL_LastError()) &&
            ReopenForEphemeralPort(local)) {
            // Our own earlier connection to this device still holds the
            // fixed port (we closed first, so it waits out TIME_WAIT).
            m_socketUsed = true;
            SWL_Connect(m_socket, m_remote, 0);
        }
        if (WaitInSlices(timeoutMs)) {
            SetPreferred(local);
            return HandOver();
        }
    }
}
