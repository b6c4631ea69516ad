#pragma once
// Test support: a simulator with fast settings on loopback, program-side
// sessions opened to its devices, a small upgrade driver that behaves as the
// upgrade worker does, and a raw client that reads the device's frames as
// they are on the wire.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/session/CNetDVSDevice.h"
#include "sim/Simulator.h"

namespace simtest {

using SessionPtr = std::unique_ptr<CNetDVSDevice, NetDeviceReleaser>;

// n devices with quick settings: any free port, no piece delay, no image
// writing time.
std::vector<sim::DeviceConfig> QuickFleet(
    size_t n, const std::function<void(sim::DeviceConfig&)>& change = {});

// Starts a simulator or fails the test.
std::unique_ptr<sim::Simulator> StartSimulator(std::vector<sim::DeviceConfig> devices,
                                               sim::SimulatorOptions options = {});

// Connects to the device, reads its greeting and makes the session; null
// (error set when a session was refused) on failure.
SessionPtr OpenSession(const sim::Simulator& simulator, size_t index, int& error,
                       const SessionOptions& options = {});
// Opens and logs in; null when either fails.
SessionPtr LoggedInSession(const sim::Simulator& simulator, size_t index,
                           const char* user = "admin", const char* password = "739164",
                           const SessionOptions& options = {});

struct UpgradeRun {
    int status = -1;  // 0 completed (99 seen), 4 link lost, 8 device failed
    bool reached98 = false;
    int lastPercent = -1;
    int piecesSent = 0;
};
// Sends payload in 100 pieces the way the upgrade worker does, paced by the
// session's progress polls. Bounded: gives up (status -1) after limitMs.
UpgradeRun RunUpgrade(CNetDVSDevice& session, int kind, const std::vector<uint8_t>& payload,
                      uint32_t limitMs = 60000);

std::vector<uint8_t> Pattern(size_t size, uint8_t seed);

// A plain blocking client that sees frames as they arrive.
class RawClient {
public:
    RawClient() = default;
    ~RawClient();
    bool Connect(const std::string& address, uint16_t port);
    bool ReadExact(uint8_t* buffer, size_t length, int timeoutMs = 5000);
    bool ReadGreeting(std::vector<uint8_t>& greeting, int timeoutMs = 5000);
    // One frame: the header's length field and what follows it (a fragment
    // header and its bytes for a fragment).
    struct Frame {
        char magic[5] = {};
        uint32_t length = 0;
        std::vector<uint8_t> bytes;
    };
    bool ReadFrame(Frame& frame, int timeoutMs = 5000);
    // The next message (keep-alive frames skipped, fragments put together).
    bool ReadMessage(uint32_t& id, std::vector<uint8_t>& body, int timeoutMs = 5000);
    bool Send(const std::vector<uint8_t>& bytes);
    bool SendMessage(uint32_t id, const std::vector<uint8_t>& body);
    // True when the device closed the connection within the time.
    bool ClosedByPeer(int timeoutMs = 5000);
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

std::vector<uint8_t> Le32(uint32_t value);
uint32_t GetLe32(const std::vector<uint8_t>& bytes, size_t offset);

}  // namespace simtest
