#pragma once
// CConnectProc: one attempt to reach a device's TCP port, trying hard on PCs
// with several network adapters. A plain connect (the system chooses the
// adapter) comes first; when it fails, the socket is bound to each of the
// host's own IPv4 addresses in turn (local port 9088) and connected from
// there, and the local address that worked is remembered for the whole
// process, so that later connections go straight through it. A remembered
// address that can no longer be bound (it has left the host: a DHCP change,
// an unplugged adapter, an address added for a device and removed again) is
// forgotten, and that connection goes on as if none had been remembered:
// the plain connect, then the host's current addresses. When the
// kernel refuses the fixed local port (a retry to the same device while our
// earlier connection waits out TIME_WAIT), the connect goes out from a port
// the kernel chooses instead.
//
// Connect returns a connected non-blocking socket, which then belongs to the
// caller, or SWL_INVALID_SOCKET. Destroy is called once Connect has returned; another thread
// stops a running Connect with Cancel.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/link/SWL_Public.h"
#include "common/platform/Clock.h"

// The two programs carry the same procedure with small differences: Cfgpush
// binds the socket it already holds instead of opening a fresh one, and its
// error prints carry its own line numbers.
enum class ConnectVariant { Common, Cfgpush };

// What the procedure takes from its surroundings; tests replace them so that
// its time limits run in milliseconds.
struct ConnectProcEnv {
    platform::Clock* clock = nullptr;  // null: the system clock (ticks and the pauses)
    // The host's own IPv4 addresses, in order; empty: platform::HostIPv4Addresses.
    std::function<std::vector<std::string>()> hostAddresses;
    // One waiting slice; empty: SWL_WaitConnected.
    std::function<int(SWL_SOCKET sock, uint32_t timeoutMs)> waitConnected;
    ConnectVariant variant = ConnectVariant::Common;
    uint16_t localPort = 9088;
};

// The waiting slices of a connect time-out: whole seconds, then the rest
// (2500 ms gives 1000, 1000, 500).
std::vector<uint32_t> ConnectSlices(uint32_t timeoutMs);

class CConnectProc {
public:
    static constexpr uint16_t kLocalPort = 9088;
    static constexpr uint32_t kSliceMs = 1000;
    static constexpr uint64_t kAdapterLimitMs = 60000;
    static constexpr int kMaxAttemptIndex = 30;  // attempts 0 to 30
    static constexpr uint32_t kAttemptPauseMs = 1000;
    static constexpr size_t kMaxAddressText = 15;

    // address: dotted IPv4 text, at most 15 characters. Null only when out
    // of memory. A text that is no address, or an address in 0.0.0.0/8,
    // makes every Connect fail at once with nothing sent.
    static CConnectProc* Create(const char* address, uint16_t port, ConnectProcEnv env = {});

    CConnectProc(const CConnectProc&) = delete;
    CConnectProc& operator=(const CConnectProc&) = delete;

    // A connected socket for the caller, or SWL_INVALID_SOCKET.
    SWL_SOCKET Connect(uint32_t timeoutMs);
    // Cancels, closes a socket still held and frees the object. Returns 0.
    int Destroy();
    // Ends a running Connect at its next waiting slice or attempt, with no socket.
    void Cancel() { m_cancel.store(true); }

    // The process-wide preferred local address ("" when none).
    static std::string PreferredLocalAddress();
    // Forgets it (tests start from a clean process state with this).
    static void ResetPreferredLocalAddress();
    // Sets it as a bound connect would (tests).
    static void SetPreferredLocalAddress(const std::string& address);

private:
    CConnectProc(const char* address, uint16_t port, ConnectProcEnv env);
    ~CConnectProc();

    int Line(int common, int cfgpush) const;
    bool WaitInSlices(uint32_t timeoutMs);
    // viaPreferred: entered in place of the plain connect because an address
    // was preferred; if that address is gone it returns at once, so that the
    // plain connect runs after all.
    SWL_SOCKET AdapterProcedure(uint32_t timeoutMs, bool viaPreferred);
    // The plain connect with the held socket, waiting in slices.
    bool PlainConnect(uint32_t timeoutMs);
    bool PrepareAttemptSocket();
    bool BindLocal(const std::string& local, uint16_t port);
    // The kernel refuses the fixed local port (in use, or the same address
    // pair still in TIME_WAIT).
    static bool PortRefused(SWL_ERROR err);
    // A fresh socket bound to local with a port the kernel chooses.
    bool ReopenForEphemeralPort(const std::string& local);
    SWL_SOCKET HandOver();

    std::string m_addressText;
    bool m_addressValid = false;
    uint16_t m_port;
    SWL_ADDR m_remote;  // the device's address and port, when valid
    SWL_SOCKET m_socket = SWL_INVALID_SOCKET;
    bool m_socketUsed = false;  // the held socket already took part in a connect
    bool m_forgotPreferred = false;  // this Connect found the preferred address gone
    std::atomic<bool> m_cancel{false};
    std::mutex m_connectMutex;  // held for a whole Connect

    platform::Clock& m_clock;
    std::function<std::vector<std::string>()> m_hostAddresses;
    std::function<int(SWL_SOCKET, uint32_t)> m_waitConnected;
    ConnectVariant m_variant;
    uint16_t m_localPort;
};

struct ConnectProcDestroyer {
    void operator()(CConnectProc* proc) const {
        if (proc != nullptr) {
            proc->Destroy();
        }
    }
};
using ConnectProcPtr = std::unique_ptr<CConnectProc, ConnectProcDestroyer>;
