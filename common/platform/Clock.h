#pragma once
// Millisecond time and sleeping, behind an interface so that time-based
// logic can be driven by a test clock instead of the wall clock.

#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a steady clock; never 0, so 0 can mean "not set".
    virtual uint64_t TickMs() = 0;
    // Sleeps (or, for a test clock, advances time by) the given milliseconds.
    virtual void SleepMs(uint32_t ms) = 0;
};

// The process's steady clock.
Clock& SystemClock();

// A clock for tests: time moves only when the test (or the code under test,
// through SleepMs) moves it. Thread-safe.
class ManualClock : public Clock {
public:
    explicit ManualClock(uint64_t startMs = 1000);
    uint64_t TickMs() override;
    void SleepMs(uint32_t ms) override;
    void Advance(uint64_t ms);
    // Total of all SleepMs calls, for tests that check the waiting pattern.
    uint64_t SleptMs() const;

private:
    std::atomic<uint64_t> m_now;
    std::atomic<uint64_t> m_slept{0};
};

}  // namespace platform
