#pragma once
// What a simulated device received and did, for tests to read while the
// simulator runs. Written on the simulator's thread; read as copies from any
// thread.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim/DeviceConfig.h"
#include "sim/LoginCheck.h"
#include "sim/UpgradeAssembler.h"

namespace sim {

struct LoginEntry {
    std::array<uint8_t, 116> record{};  // as received (the password field included)
    LoginForm form = LoginForm::Plain;
    std::string user;  // the user name as the device read it
    uint32_t nonce = 0;
    std::array<uint8_t, 6> mac{};
    bool accepted = false;
    uint32_t refusal = 0;  // the refusal code sent (0 when accepted)
    std::string problem;
};

enum class ConfigRoute { ImportFacConf, Command0D01 };

// A configuration payload ("ImportFacConf" or the version-3 command).
struct ConfigEntry {
    ConfigRoute route = ConfigRoute::ImportFacConf;
    std::vector<uint8_t> payload;
    // An encrypted request arrives zero-padded to whole 16-byte blocks and
    // carries no payload length, so the device keeps every byte it got:
    // the payload sent is a prefix of `payload`, and at most
    // `possiblePadding` trailing zero bytes (0..15) may be padding.
    bool encrypted = false;
    size_t possiblePadding = 0;
};

struct HttpEntry {
    std::string name;
    std::vector<uint8_t> payload;  // as for ConfigEntry
    bool encrypted = false;
    size_t possiblePadding = 0;
    int status = 0;  // the status answered
};

struct PieceEntry {
    uint32_t command = 0;
    uint32_t sequence = 0;  // 0 when the piece was too short to hold one
    uint32_t length = 0;    // the piece's bytes after the sequence number
};

// What a reply answered, for the records of injected faults.
enum class ExchangeKind { Greeting, Login, Http, ConfigV3, UpgradePiece, Other };
const char* ExchangeKindName(ExchangeKind kind);

// A random fault (FaultPlan.h) that ended a connection.
struct InjectedFault {
    uint64_t connection = 0;  // the device's connections in the order accepted, from 1
    uint32_t exchange = 0;    // the reply it fired at on that connection (0: the greeting)
    ExchangeKind what = ExchangeKind::Greeting;
    uint32_t sequence = 0;    // UpgradePiece: the piece's sequence number (1..100)
    std::string name;         // Http: the request's name
    EndingFault kind = EndingFault::None;
    uint32_t cutAfter = 0;    // reset, stall: bytes of the reply sent before
    uint32_t refusal = 0;     // refused login: the code sent
};

struct DeviceRecords {
    std::vector<LoginEntry> logins;
    std::vector<HttpEntry> http;
    std::vector<ConfigEntry> configs;
    std::vector<PieceEntry> pieces;
    // The last image received whole, per upgrade type.
    std::map<UpgradeKind, std::vector<uint8_t>> images;
    uint32_t imagesReceived = 0;  // counts every image stored
    // Things a correct program does not do (reported, never silently taken).
    std::vector<std::string> anomalies;
    // Requests the device does not serve, by identifier (not answered).
    std::map<uint32_t, uint32_t> unservedRequests;
    uint64_t connections = 0;        // accepted so far
    uint32_t openSessions = 0;       // logged in now
    uint32_t upgradesCompleted = 0;  // reported 100
    uint32_t upgradesFailed = 0;     // answered with failure
    uint32_t dropsDone = 0;          // connections closed on purpose (drop fault, reboot)
    uint32_t ignoredWhileSilent = 0;
    uint32_t clears = 0;  // how often the records were cleared
    // Random faults: the ones that ended a connection, and how many replies
    // went out split or late.
    std::vector<InjectedFault> injected;
    uint32_t splitReplies = 0;
    uint32_t slowReplies = 0;
    // ONVIF device calls, in order ("GetDeviceInformation", "GetDeviceInformation refused",
    // ...; the first 256), and how many were refused for their credentials.
    std::vector<std::string> onvifCalls;
    uint32_t onvifRefused = 0;
};

// The records of one device behind a lock; waiters are woken on every change.
class RecordBook {
public:
    using ChangeHook = std::function<void()>;

    DeviceRecords Snapshot() const;
    // Runs look(records) under the lock, without a copy.
    void Visit(const std::function<void(const DeviceRecords&)>& look) const;
    void Modify(const std::function<void(DeviceRecords&)>& change);
    void Clear();
    // Waits until done(records) holds; false after limitMs.
    bool WaitFor(const std::function<bool(const DeviceRecords&)>& done, uint32_t limitMs) const;
    // Called after every change, outside the lock.
    void SetChangeHook(ChangeHook hook);

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    DeviceRecords m_records;
    ChangeHook m_hook;  // set before the simulator starts
};

// Trailing zero bytes of an encrypted payload that may be padding (0..15).
size_t PossiblePadding(const std::vector<uint8_t>& payload, bool encrypted);

// True when `sent` is what arrived as `received` (encrypted: with at most
// 15 zero bytes of padding after it).
bool SamePayload(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& received,
                 bool encrypted);

}  // namespace sim
