// The frame and fragment headers as bytes on the wire, and the judgement of
// a fragment header before it touches a reassembly slot.

#include "common/link/LinkFrames.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using tcplink::FragmentHeader;
using tcplink::FragmentVerdict;

TEST(LinkFrames, FrameHeaderBytes) {
    uint8_t out[8];
    tcplink::EncodeFrameHeader(0x01020304, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8),
              (std::vector<uint8_t>{0x31, 0x31, 0x31, 0x31, 0x04, 0x03, 0x02, 0x01}));
    tcplink::EncodeFrameHeader(0, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8),
              (std::vector<uint8_t>{'1', '1', '1', '1', 0, 0, 0, 0}));
}

TEST(LinkFrames, FrameHeaderDecoding) {
    const uint8_t fragment[8] = {'1', '1', '1', '1', 0xFF, 0xFF, 0xFF, 0xFF};
    tcplink::FrameHeader h = tcplink::DecodeFrameHeader(fragment);
    EXPECT_TRUE(h.magicOk);
    EXPECT_EQ(h.length, tcplink::kFragmentMarker);
    for (int i = 0; i < 4; ++i) {
        uint8_t bad[8] = {'1', '1', '1', '1', 1, 0, 0, 0};
        bad[i] = '0';
        EXPECT_FALSE(tcplink::DecodeFrameHeader(bad).magicOk) << i;
    }
}

TEST(LinkFrames, FragmentHeaderFieldOrder) {
    const uint8_t in[24] = {1, 0, 0, 0, 3,    0,    0, 0, 0x00, 0x10, 0, 0,
                            2, 0, 0, 0, 0x00, 0x08, 0, 0, 1,    0,    0, 0};
    const FragmentHeader h = tcplink::DecodeFragmentHeader(in);
    EXPECT_EQ(h.messageId, 1u);
    EXPECT_EQ(h.count, 3u);
    EXPECT_EQ(h.total, 0x1000u);
    EXPECT_EQ(h.number, 2u);
    EXPECT_EQ(h.length, 0x800u);
    EXPECT_EQ(h.slot, 1u);
    uint8_t out[24];
    tcplink::EncodeFragmentHeader(h, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 24), std::vector<uint8_t>(in, in + 24));
}

TEST(LinkFrames, LimitIsAtLeast64MiB) {
    EXPECT_GE(tcplink::kMaxMessageLength, 64u << 20);
}

FragmentHeader Header(uint32_t count, uint32_t number, uint32_t total, uint32_t length,
                      uint32_t slot) {
    FragmentHeader h;
    h.messageId = 9;
    h.count = count;
    h.number = number;
    h.total = total;
    h.length = length;
    h.slot = slot;
    return h;
}

TEST(LinkFrames, FragmentJudgement) {
    const uint32_t limit = 1000;
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 1, 1000, 400, 0), limit), FragmentVerdict::Accept);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 3, 1000, 1000, 1), limit), FragmentVerdict::Accept);
    EXPECT_EQ(tcplink::JudgeFragment(Header(1, 1, 5, 0, 1), limit), FragmentVerdict::Accept);
    // Sizes above the limit come first: nothing may be allocated or drained for them.
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 1, 1001, 400, 0), limit), FragmentVerdict::TooLarge);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 1, 10, 1001, 5), limit), FragmentVerdict::TooLarge);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 1, 10, 5, 2), limit), FragmentVerdict::BadSlot);
    EXPECT_EQ(tcplink::JudgeFragment(Header(0, 0, 10, 5, 0xFFFFFFFF), limit),
              FragmentVerdict::BadSlot);
    EXPECT_EQ(tcplink::JudgeFragment(Header(0, 1, 10, 5, 0), limit), FragmentVerdict::Malformed);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 0, 10, 5, 0), limit), FragmentVerdict::Malformed);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 4, 10, 5, 0), limit), FragmentVerdict::Malformed);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 1, 0, 0, 0), limit), FragmentVerdict::Malformed);
    EXPECT_EQ(tcplink::JudgeFragment(Header(3, 1, 10, 11, 1), limit), FragmentVerdict::Malformed);
}

}  // namespace
