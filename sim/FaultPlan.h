#pragma once
// Seeded fault injection: which random fault a connection of a simulated
// device shows and where, and how each reply goes out (in pieces, late).
//
// Every device draws from its own generator, seeded from the fleet's seed
// and the device's index, so devices are independent of each other and a
// run repeats exactly: the same seed and the same sequence of exchanges give
// the same faults. The device's generator gives one seed per connection, in
// the order the connections are accepted; everything about that connection
// is drawn from its own generator:
//
// - once, when it is accepted: at most one ending fault (reset, stall,
//   corrupt header, refused login; one draw against the summed rates) and
//   the exchange it fires at (uniform over the first `span` replies, the
//   greeting being reply 0; a refused login always fires at the login);
// - for every reply, in order: whether it is split into pieces and where,
//   whether it is sent late and how late, and where an ending fault cuts it.
//   The same number of draws is taken whatever the outcome, so changing one
//   rate does not shift the others' decisions.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/DeviceConfig.h"

namespace sim {

// SplitMix64: small, fast and the same on every platform and library.
class FaultRandom {
public:
    explicit FaultRandom(uint64_t seed = 0) : m_state(seed) {}
    uint64_t Next();
    // 0..n-1 (0 when n is 0).
    uint64_t Below(uint64_t n);
    // A value in [0, 1).
    double Unit();

private:
    uint64_t m_state;
};

// The seed of device `index`'s generator.
uint64_t DeviceFaultSeed(uint64_t seed, size_t index);

// The login refusal codes a refused-login fault picks from.
inline constexpr uint32_t kInjectedRefusals[] = {2, 3, 13};

// How one reply goes out.
struct ReplyShape {
    uint32_t delayMs = 0;            // before its first byte
    std::vector<size_t> pieces;      // sizes in order (sum: the bytes sent); one piece when whole
    uint32_t pieceGapMs = 0;         // between pieces
    bool split = false;
    bool slow = false;
    bool ending = false;             // the connection's ending fault fires at this reply
    EndingFault fault = EndingFault::None;
    size_t cutAfter = 0;             // reset, stall: bytes of the reply sent first
};

class ConnectionFaultPlan {
public:
    ConnectionFaultPlan() = default;  // no faults at all
    ConnectionFaultPlan(const RandomFaults& faults, uint64_t connectionSeed);

    bool Active() const { return m_active; }
    EndingFault Ending() const { return m_ending; }
    uint32_t EndingExchange() const { return m_exchange; }
    uint32_t Refusal() const { return m_refusal; }

    // The shape of reply number `exchange` (0: the greeting) of `length`
    // bytes; call once per reply, in order.
    ReplyShape Shape(uint32_t exchange, size_t length);

private:
    bool m_active = false;
    RandomFaults m_faults;
    FaultRandom m_random;
    EndingFault m_ending = EndingFault::None;
    uint32_t m_exchange = 0;
    uint32_t m_refusal = 0;
};

}  // namespace sim
