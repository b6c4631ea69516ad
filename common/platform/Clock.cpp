#include "common/platform/Clock.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {

class SteadyClock : public Clock {
public:
    uint64_t TickMs() override {
        using namespace std::chrono;
        const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        // Offset by one so the tick is never 0.
        return static_cast<uint64_t>(ms) + 1;
    }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

ManualClock::ManualClock(uint64_t startMs) : m_now(startMs == 0 ? 1 : startMs) {}

uint64_t ManualClock::TickMs() { return m_now.load(); }

void ManualClock::SleepMs(uint32_t ms) {
    m_slept.fetch_add(ms);
    m_now.fetch_add(ms);
}

void ManualClock::Advance(uint64_t ms) { m_now.fetch_add(ms); }

uint64_t ManualClock::SleptMs() const { return m_slept.load(); }

}  // namespace platform
