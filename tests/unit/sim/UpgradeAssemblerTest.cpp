// Putting an image together from numbered pieces, and the anomalies that
// end an upgrade.

#include <gtest/gtest.h>

#include "common/session/ProtocolIds.h"
#include "sim/UpgradeAssembler.h"

namespace {

using sim::UpgradeAssembler;
using sim::UpgradeKind;
using Outcome = UpgradeAssembler::Outcome;

std::vector<uint8_t> Piece(uint32_t sequence, std::vector<uint8_t> data = {}) {
    std::vector<uint8_t> block = {
        static_cast<uint8_t>(sequence), static_cast<uint8_t>(sequence >> 8),
        static_cast<uint8_t>(sequence >> 16), static_cast<uint8_t>(sequence >> 24)};
    block.insert(block.end(), data.begin(), data.end());
    return block;
}

UpgradeAssembler::Result Feed(UpgradeAssembler& a, UpgradeKind kind, uint32_t sequence,
                              std::vector<uint8_t> data = {}) {
    const auto block = Piece(sequence, std::move(data));
    return a.Accept(kind, block.data(), block.size());
}

TEST(UpgradeAssembler, HundredPiecesInOrderMakeTheImage) {
    UpgradeAssembler a;
    std::vector<uint8_t> image;
    for (uint32_t n = 1; n <= 100; ++n) {
        std::vector<uint8_t> data(n % 3, static_cast<uint8_t>(n));
        image.insert(image.end(), data.begin(), data.end());
        const auto r = Feed(a, UpgradeKind::Kernel, n, data);
        EXPECT_EQ(r.outcome, n == 100 ? Outcome::Complete : Outcome::Accepted) << n;
        EXPECT_EQ(r.sequence, n);
        EXPECT_TRUE(r.anomaly.empty());
    }
    EXPECT_EQ(a.TakeImage(), image);
    // The next upgrade starts afresh.
    EXPECT_EQ(Feed(a, UpgradeKind::Software, 1, {9}).outcome, Outcome::Accepted);
    EXPECT_EQ(a.Kind(), UpgradeKind::Software);
}

TEST(UpgradeAssembler, RepeatedOutOfOrderAndForeignPiecesFailTheUpgrade) {
    struct Case {
        std::vector<uint32_t> before;
        uint32_t bad;
        UpgradeKind kind;
        const char* anomaly;
    };
    const Case cases[] = {
        {{1, 2, 3}, 3, UpgradeKind::Boot, "repeated piece 3 (expected 4)"},
        {{1, 2, 3}, 1, UpgradeKind::Boot, "repeated piece 1 (expected 4)"},
        {{1, 2}, 5, UpgradeKind::Boot, "out-of-order piece 5 (expected 3)"},
        {{}, 2, UpgradeKind::Boot, "upgrade starts with piece 2, not 1"},
        {{1}, 2, UpgradeKind::AiLibrary, "ailib piece 2 during the boot upgrade"},
        {{1, 2}, 101, UpgradeKind::Boot, "out-of-order piece 101 (expected 3)"},
    };
    for (const Case& c : cases) {
        UpgradeAssembler a;
        for (uint32_t n : c.before)
            ASSERT_EQ(Feed(a, UpgradeKind::Boot, n, {1, 2}).outcome, Outcome::Accepted);
        const auto r = Feed(a, c.kind, c.bad, {3});
        EXPECT_EQ(r.outcome, Outcome::Failed) << c.anomaly;
        EXPECT_EQ(r.anomaly, c.anomaly);
        // Whatever follows is reported, not taken, until a new piece 1.
        const auto after = Feed(a, UpgradeKind::Boot, static_cast<uint32_t>(c.before.size()) + 2);
        EXPECT_EQ(after.outcome, Outcome::Ignored) << c.anomaly;
        EXPECT_FALSE(after.anomaly.empty());
        EXPECT_EQ(Feed(a, UpgradeKind::Boot, 1, {7}).outcome, Outcome::Accepted);
        EXPECT_EQ(a.PiecesTaken(), 1u);
    }
}

TEST(UpgradeAssembler, APieceWithoutItsNumberOrTooLargeAnImageFails) {
    UpgradeAssembler a;
    const uint8_t three[3] = {1, 0, 0};
    const auto r = a.Accept(UpgradeKind::Software, three, sizeof three);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.anomaly, "piece of 3 bytes holds no sequence number");

    UpgradeAssembler small(10);
    EXPECT_EQ(Feed(small, UpgradeKind::Software, 1, std::vector<uint8_t>(8)).outcome,
              Outcome::Accepted);
    const auto big = Feed(small, UpgradeKind::Software, 2, std::vector<uint8_t>(3));
    EXPECT_EQ(big.outcome, Outcome::Failed);
    EXPECT_EQ(big.anomaly, "image larger than 10 bytes");
}

TEST(UpgradeAssembler, AbortEndsTheUpgrade) {
    UpgradeAssembler a;
    Feed(a, UpgradeKind::Software, 1);
    a.Abort();
    EXPECT_EQ(Feed(a, UpgradeKind::Software, 2).outcome, Outcome::Ignored);
    EXPECT_FALSE(a.Receiving());
}

TEST(UpgradeAssembler, CommandsRepliesAndNames) {
    const std::pair<uint32_t, UpgradeKind> table[] = {{0x0A02, UpgradeKind::Software},
                                                      {0x0801, UpgradeKind::Kernel},
                                                      {0x0802, UpgradeKind::Boot},
                                                      {0x0805, UpgradeKind::AiLibrary}};
    for (auto [command, expected] : table) {
        UpgradeKind kind;
        ASSERT_TRUE(sim::KindOfCommand(command, kind));
        EXPECT_EQ(kind, expected);
        const bool software = expected == UpgradeKind::Software;
        EXPECT_EQ(sim::ProgressReplyOf(kind), software ? 0x01000A04u : 0x01000802u);
        EXPECT_EQ(sim::FailureReplyOf(kind), software ? 0x01000A03u : 0x01000801u);
    }
    UpgradeKind kind;
    EXPECT_FALSE(sim::KindOfCommand(0x0803, kind));
    EXPECT_STREQ(sim::UpgradeKindName(UpgradeKind::AiLibrary), "ailib");
}

}  // namespace
