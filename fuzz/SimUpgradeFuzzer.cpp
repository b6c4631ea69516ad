// Fuzz target "sim_upgrade": the simulated device putting an upgrade image
// together from pieces in any order, of any kind, with aborts and takes in
// between. Each step of the input is an operation byte:
//   bits 0-1  the upgrade kind of a piece
//   bits 2-3  0: a piece as it stands: a length byte, then that many bytes
//                (sequence number first);
//             1: the next piece in order: a length byte, then that many
//                data bytes behind the right sequence number;
//             2: the device gives up (Abort);
//             3: the image is taken (TakeImage), unless pieces are
//                still coming.
// Whatever the order, only pieces 1 to 100 of one kind, in order, may make
// an image, and the image must be exactly their data.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/link/LinkFrames.h"
#include "fuzz/FuzzSupport.h"
#include "sim/UpgradeAssembler.h"

namespace {

// Small, so the size limit is reached too.
constexpr size_t kMaxImage = 4096;

struct Expected {
    bool receiving = false;
    sim::UpgradeKind kind = sim::UpgradeKind::Software;
    uint32_t last = 0;
    std::vector<uint8_t> image;
};

void Check(const sim::UpgradeAssembler::Result& r, const sim::UpgradeAssembler& assembler,
           sim::UpgradeKind kind, const uint8_t* piece, size_t length, Expected& expected) {
    using Outcome = sim::UpgradeAssembler::Outcome;
    if (r.outcome == Outcome::Failed || r.outcome == Outcome::Ignored) {
        FUZZ_CHECK(!r.anomaly.empty());
        FUZZ_CHECK(!assembler.Receiving());
        expected = Expected{};
        return;
    }
    FUZZ_CHECK(r.anomaly.empty());
    FUZZ_CHECK(length >= 4);
    const uint32_t sequence = tcplink::ReadLe32(piece);
    FUZZ_CHECK(r.sequence == sequence && assembler.PiecesTaken() == sequence);
    if (sequence == 1) {
        // Piece 1 starts an upgrade only when none is under way.
        FUZZ_CHECK(!expected.receiving);
        expected = Expected{true, kind, 0, {}};
    }
    // In order, one kind, never more than the limit.
    FUZZ_CHECK(expected.receiving && expected.kind == kind && sequence == expected.last + 1);
    FUZZ_CHECK(assembler.Kind() == kind);
    expected.last = sequence;
    expected.image.insert(expected.image.end(), piece + 4, piece + length);
    FUZZ_CHECK(expected.image.size() <= kMaxImage);
    FUZZ_CHECK((r.outcome == Outcome::Complete) == (sequence == sim::UpgradeAssembler::kPieces));
    FUZZ_CHECK(assembler.Receiving() == (r.outcome == Outcome::Accepted));
    if (r.outcome == Outcome::Complete) {
        expected.receiving = false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteCursor cursor(data, size);
    sim::UpgradeAssembler assembler(kMaxImage);
    Expected expected;
    bool complete = false;
    while (!cursor.Empty()) {
        const uint8_t op = cursor.Byte();
        const auto kind = static_cast<sim::UpgradeKind>(op & 3);
        switch ((op >> 2) & 3) {
            case 0:
            case 1: {
                const bool inOrder = ((op >> 2) & 3) == 1;
                const auto bytes = cursor.Take(cursor.Byte());
                const size_t header = inOrder ? 4 : 0;
                std::vector<uint8_t> piece(header + bytes.size());
                if (inOrder) {
                    const uint32_t next = assembler.Receiving() ? assembler.PiecesTaken() + 1 : 1;
                    tcplink::WriteLe32(piece.data(), next);
                }
                std::copy(bytes.begin(), bytes.end(),
                          piece.begin() + static_cast<ptrdiff_t>(header));
                const auto r = assembler.Accept(kind, piece.data(), piece.size());
                Check(r, assembler, kind, piece.data(), piece.size(), expected);
                complete = r.outcome == sim::UpgradeAssembler::Outcome::Complete;
                break;
            }
            case 2:
                assembler.Abort();
                FUZZ_CHECK(!assembler.Receiving());
                expected = Expected{};
                complete = false;
                break;
            default: {
                if (assembler.Receiving()) {
                    break;
                }
                const std::vector<uint8_t> image = assembler.TakeImage();
                if (complete) {
                    FUZZ_CHECK(image == expected.image);
                    FUZZ_CHECK(assembler.TakeImage().empty());
                }
                complete = false;
                break;
            }
        }
    }
    return 0;
}
