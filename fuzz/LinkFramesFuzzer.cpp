// Fuzz target "link_frames": a received byte stream read as the link reads
// it: frame headers, and behind the fragment marker a fragment header that
// is judged before anything else; payloads are stepped over. Decoding must
// invert encoding and the verdict must follow the header's documented rules.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/link/LinkFrames.h"
#include "fuzz/FuzzSupport.h"

namespace {

using tcplink::FragmentVerdict;

void CheckFrameHeader(const uint8_t* in) {
    const tcplink::FrameHeader header = tcplink::DecodeFrameHeader(in);
    FUZZ_CHECK(header.magicOk == (std::memcmp(in, "1111", 4) == 0));
    uint8_t encoded[tcplink::kFrameHeaderSize];
    tcplink::EncodeFrameHeader(header.length, encoded);
    FUZZ_CHECK(std::memcmp(encoded + 4, in + 4, 4) == 0);
    FUZZ_CHECK(!header.magicOk || std::memcmp(encoded, in, sizeof encoded) == 0);
}

FragmentVerdict CheckFragmentHeader(const uint8_t* in, uint32_t maxLength) {
    const tcplink::FragmentHeader h = tcplink::DecodeFragmentHeader(in);
    uint8_t encoded[tcplink::kFragmentHeaderSize];
    tcplink::EncodeFragmentHeader(h, encoded);
    FUZZ_CHECK(std::memcmp(encoded, in, sizeof encoded) == 0);

    const FragmentVerdict verdict = tcplink::JudgeFragment(h, maxLength);
    const bool tooLarge = h.total > maxLength || h.length > maxLength;
    const bool badSlot = h.slot >= tcplink::kReassemblySlots;
    const bool malformed =
        h.count == 0 || h.number == 0 || h.number > h.count || h.total == 0 || h.length > h.total;
    switch (verdict) {
        case FragmentVerdict::TooLarge:
            FUZZ_CHECK(tooLarge);
            break;
        case FragmentVerdict::BadSlot:
            FUZZ_CHECK(!tooLarge && badSlot);
            break;
        case FragmentVerdict::Malformed:
            FUZZ_CHECK(!tooLarge && !badSlot && malformed);
            break;
        case FragmentVerdict::Accept:
            FUZZ_CHECK(!tooLarge && !badSlot && !malformed);
            break;
    }
    return verdict;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first four bytes choose the length limit the fragments are judged
    // against (0: the link's own limit).
    fuzz::ByteCursor cursor(data, size);
    uint32_t maxLength = cursor.Le32();
    if (maxLength == 0) {
        maxLength = tcplink::kMaxMessageLength;
    }
    while (cursor.Left() >= tcplink::kFrameHeaderSize) {
        const uint8_t* frame = cursor.Take(tcplink::kFrameHeaderSize).data();
        CheckFrameHeader(frame);
        const tcplink::FrameHeader header = tcplink::DecodeFrameHeader(frame);
        if (!header.magicOk) {
            break;  // the link drops the connection here
        }
        if (header.length != tcplink::kFragmentMarker) {
            cursor.Take(header.length);
            continue;
        }
        if (cursor.Left() < tcplink::kFragmentHeaderSize) {
            break;
        }
        const uint8_t* fragment = cursor.Take(tcplink::kFragmentHeaderSize).data();
        const FragmentVerdict verdict = CheckFragmentHeader(fragment, maxLength);
        if (verdict == FragmentVerdict::TooLarge) {
            break;
        }
        cursor.Take(tcplink::DecodeFragmentHeader(fragment).length);
    }
    return 0;
}
