#pragma once
// One program connection to a simulated device, on the simulator's loop
// thread: sends the greeting, reads frames, answers the login, HTTP
// requests, the version-3 command and upgrade pieces, sends keep-alive
// frames, and misbehaves as the device's faults say. Non-blocking
// throughout; every delay is a loop timer.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/session/CommandMessage.h"
#include "common/session/DeviceGreeting.h"
#include "sim/DeviceConfig.h"
#include "sim/DeviceRecords.h"
#include "sim/FaultPlan.h"
#include "sim/UpgradeAssembler.h"

namespace sim {

class DeviceService;
class EventLoop;
class SimDevice;

class Connection {
public:
    Connection(EventLoop& loop, DeviceService& service, SimDevice& device, int fd, uint64_t id);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts watching the socket and sends the greeting. False: the
    // connection is closed already.
    bool Start();
    // Closes the socket and asks the service to forget the connection.
    // Harmless when closed already.
    void Close();

    uint64_t Id() const { return m_id; }
    bool LoggedIn() const { return m_loggedIn; }

private:
    void OnIo(uint32_t events);
    void ReadSome();
    void ParseFrames();
    void HandleMessage(const uint8_t* message, size_t length);
    void OnLogin(const proto::CommandView& request, const DeviceConfig& config);
    void OnHttp(const proto::CommandView& request, const DeviceConfig& config);
    void OnConfigV3(const proto::CommandView& request, const DeviceConfig& config);
    void OnUpgradePiece(UpgradeKind kind, const proto::CommandView& request,
                        const DeviceConfig& config);
    void FinishPiece(UpgradeKind kind, uint32_t sequence, bool complete,
                     const DeviceConfig& config);

    // What a reply answers, for the records of random faults.
    struct Exchange {
        ExchangeKind what = ExchangeKind::Other;
        uint32_t sequence = 0;
        std::string name;
    };
    // Sends a reply whole or in fragments (the device's fragment size); the
    // reply counted by the wrong-magic fault goes out with magic "2222".
    void SendReply(uint32_t id, const std::vector<uint8_t>& body, uint32_t aux,
                   const Exchange& exchange);
    void SendKeepAlive();
    // Sends one reply's bytes (or the greeting) as the connection's random
    // faults shape them: late, in pieces, garbled, cut short and followed
    // by a reset or by silence.
    void Emit(std::vector<uint8_t> bytes, const Exchange& exchange);
    // Sends the paced steps that are due; waits on a timer for a delay.
    void Pump();
    void ResetNow();
    void Queue(const uint8_t* data, size_t length);
    void Flush();
    void Anomaly(const std::string& text);
    // Runs fn after delayMs unless the connection closes first.
    void Later(uint32_t delayMs, std::function<void()> fn);

    EventLoop& m_loop;
    DeviceService& m_service;
    SimDevice& m_device;
    int m_fd;
    const uint64_t m_id;
    uint64_t m_watch = 0;
    bool m_closed = false;
    bool m_loggedIn = false;
    bool m_wantWrite = false;

    DeviceGreeting m_greeting;  // as sent on this connection
    uint32_t m_keepAliveMs = 0;
    std::vector<uint8_t> m_in;   // received, not yet parsed
    std::vector<uint8_t> m_out;  // to send, from m_outStart on
    size_t m_outStart = 0;
    uint32_t m_repliesSent = 0;
    uint32_t m_fragmentMessageId = 0;
    uint32_t m_nextSlot = 0;
    UpgradeAssembler m_upgrade;
    std::set<uint64_t> m_timers;

    // Random faults (FaultPlan.h).
    ConnectionFaultPlan m_plan;
    uint64_t m_number = 0;      // the device's connection number, from 1
    uint32_t m_exchanges = 0;   // replies emitted so far, the greeting included
    bool m_stalled = false;     // answers nothing more
    bool m_refusedOnce = false;
    enum class StepAction { None, Reset, Stall };
    struct Step {
        uint32_t delayMs = 0;
        std::vector<uint8_t> bytes;
        StepAction action = StepAction::None;
    };
    std::deque<Step> m_paced;  // output held back by a delay, in order
    bool m_pumpWaiting = false;
};

}  // namespace sim
