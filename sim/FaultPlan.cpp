#include "sim/FaultPlan.h"

#include <algorithm>
#include <iterator>

namespace sim {

namespace {
constexpr size_t kMaxPieces = 8;
constexpr uint32_t kMaxPieceGapMs = 3;
}  // namespace

uint64_t FaultRandom::Next() {
    m_state += 0x9E3779B97F4A7C15ull;
    uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t FaultRandom::Below(uint64_t n) {
    // The remainder's bias is far below anything a soak run could notice.
    return n == 0 ? 0 : Next() % n;
}

double FaultRandom::Unit() {
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);  // 53 bits
}

uint64_t DeviceFaultSeed(uint64_t seed, size_t index) {
    // Two rounds of mixing, so neighbouring seeds and indexes give unrelated
    // streams.
    FaultRandom mix(seed);
    const uint64_t a = mix.Next();
    FaultRandom device(a ^ (static_cast<uint64_t>(index) * 0xD1B54A32D192ED03ull));
    return device.Next();
}

ConnectionFaultPlan::ConnectionFaultPlan(const RandomFaults& faults, uint64_t connectionSeed)
    : m_active(faults.Any()), m_faults(faults), m_random(connectionSeed) {
    const double pick = m_random.Unit();
    const uint64_t exchange = m_random.Below(faults.span);
    const uint64_t refusal = m_random.Below(std::size(kInjectedRefusals));
    double bound = faults.reset;
    if (pick < bound) {
        m_ending = EndingFault::Reset;
    } else if (pick < (bound += faults.stall)) {
        m_ending = EndingFault::Stall;
    } else if (pick < (bound += faults.corruptHeader)) {
        m_ending = EndingFault::CorruptHeader;
    } else if (pick < (bound += faults.refuseLogin)) {
        m_ending = EndingFault::RefuseLogin;
    }
    m_exchange = static_cast<uint32_t>(exchange);
    m_refusal = kInjectedRefusals[refusal];
}

ReplyShape ConnectionFaultPlan::Shape(uint32_t exchange, size_t length) {
    ReplyShape shape;
    shape.pieces.push_back(length);
    if (!m_active) {
        return shape;
    }
    // A fixed number of draws per reply, whatever they decide.
    const bool split = m_random.Unit() < m_faults.split;
    const bool slow = m_random.Unit() < m_faults.slow;
    const uint64_t delay = m_random.Below(m_faults.slowMaxMs) + 1;
    const uint64_t cut = m_random.Below(length == 0 ? 1 : length);
    const uint64_t pieceSeed = m_random.Next();

    if (slow && m_faults.slowMaxMs > 0) {
        shape.slow = true;
        shape.delayMs = static_cast<uint32_t>(delay);
    }
    if (split && length > 1) {
        FaultRandom pieces(pieceSeed);
        // Cut points anywhere in the reply, headers included.
        const size_t count = 2 + pieces.Below(std::min(kMaxPieces, length) - 1);
        std::vector<size_t> cuts;
        for (size_t i = 1; i < count; ++i) {
            cuts.push_back(1 + pieces.Below(length - 1));
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        shape.pieces.clear();
        size_t at = 0;
        for (size_t c : cuts) {
            shape.pieces.push_back(c - at);
            at = c;
        }
        shape.pieces.push_back(length - at);
        shape.split = true;
        shape.pieceGapMs = static_cast<uint32_t>(pieces.Below(kMaxPieceGapMs + 1));
    }
    const bool endsHere = m_ending == EndingFault::RefuseLogin ? false : m_exchange == exchange;
    if (endsHere && m_ending != EndingFault::None) {
        shape.ending = true;
        shape.fault = m_ending;
        if (m_ending == EndingFault::Reset || m_ending == EndingFault::Stall) {
            shape.cutAfter = static_cast<size_t>(cut);
        }
    }
    return shape;
}

}  // namespace sim
