#pragma once
// Shared parts of the soak tests: their sizes (from the environment, so
// scripts/soak can make them larger), the process's threads and
// descriptors, a clock that runs faster than the wall clock, and the
// random-fault settings every soak uses.

#include <cstdint>
#include <map>
#include <string>

#include "common/platform/Clock.h"
#include "sim/DeviceConfig.h"
#include "sim/DeviceRecords.h"

namespace soak {

struct SoakSize {
    uint64_t firstSeed = 1;
    uint32_t seeds = 3;
    uint32_t devices = 32;      // upgrade devices; the other soaks scale from it
    uint32_t idleSeconds = 5;
    uint32_t idleConfigSessions = 1000;
    // How long a silent device is waited for, in real milliseconds, at
    // every stage (greeting, login reply, piece reply, HTTP reply).
    uint32_t stallMs = 3000;
};

// CAMPREP_SOAK_SEEDS, CAMPREP_SOAK_FIRST_SEED, CAMPREP_SOAK_DEVICES,
// CAMPREP_SOAK_IDLE_SECONDS, CAMPREP_SOAK_IDLE_SESSIONS and
// CAMPREP_SOAK_STALL_MS, each falling back to the build's defaults.
SoakSize SizeFromEnvironment();

struct ProcessCounts {
    int threads = 0;
    int descriptors = 0;
};
// The counts now. The first call starts and joins a thread first: a
// sanitizer's runtime starts a thread of its own with the process's first
// one, and that one is not the engines'.
ProcessCounts CountNow();
// Waits (at most limitMs) until both counts are at most `start`'s; the
// counts last seen.
ProcessCounts WaitForCountsBackTo(const ProcessCounts& start, uint32_t limitMs = 30000);

// What a soak run met, printed at its end.
struct Tally {
    std::map<int, int> codes;            // result code -> devices
    std::map<std::string, int> faults;   // "fault@exchange" -> times
    int devices = 0;
    uint64_t connections = 0;
    uint64_t splitReplies = 0;
    uint64_t slowReplies = 0;
    double longestSeconds = 0;  // the longest batch or push of one seed
    // One device's records: its result code and what the simulator did.
    void Count(int code, const sim::DeviceRecords& records, bool markLastPiece);
    void Print(const char* what, uint32_t seeds, uint32_t devices, double seconds) const;
};

// Once the simulator is stopped: threads and descriptors back to `start`.
void ExpectCountsBack(const ProcessCounts& start, const char* after);

// Lets the process open as many descriptors as its hard limit allows.
void RaiseDescriptorLimit();

// CPU time of the process (user + system) in seconds, and its resident
// size in KiB.
double CpuSeconds();
long ResidentKiB();

// A steady clock that runs `factor` times faster than the wall clock, for
// limits of the engines that only their clock can shorten.
class FastClock : public platform::Clock {
public:
    explicit FastClock(uint32_t factor);
    uint64_t TickMs() override;
    void SleepMs(uint32_t ms) override;
    uint32_t Factor() const { return m_factor; }

private:
    const uint32_t m_factor;
    const uint64_t m_startMs;
};

// The soak's faults per connection: 20% resets, 10% stalls, 5% garbled
// headers, 3% refused logins; every reply 10% likely split and 10% late.
sim::RandomFaults SoakFaults(uint64_t seed, uint32_t span);

// The ending fault of each connection, by connection number; a connection
// without an entry ended no way but its own.
const sim::InjectedFault* FaultOn(const sim::DeviceRecords& records, uint64_t connection);

std::string Describe(const sim::InjectedFault& fault);

}  // namespace soak
