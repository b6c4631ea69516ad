#pragma once
// The device link's wire format: the 8-byte frame header in front of every
// message and the 24-byte fragment header of fragmented device messages.
// All fields are little-endian and are read and written byte by byte.
//
//   frame header:    magic "1111" | length (u32)
//                    length 0 = empty keep-alive frame, 0xFFFFFFFF = fragment
//   fragment header: message id | fragment count | total length |
//                    fragment number (from 1) | fragment length | slot (0/1)

#include <cstdint>

#include "common/platform/ByteOrder.h"

namespace tcplink {

inline constexpr uint32_t kFrameHeaderSize = 8;
inline constexpr uint32_t kFragmentHeaderSize = 24;
inline constexpr uint32_t kFragmentMarker = 0xFFFFFFFFu;
inline constexpr uint32_t kReassemblySlots = 2;

// The largest message, frame payload, fragment or fragment total the link
// accepts. The protocol itself sets no bound; the devices' largest messages
// (configuration and version answers, media frames) stay far below this.
// Anything larger is treated as a protocol error before any memory is taken.
inline constexpr uint32_t kMaxMessageLength = 64u * 1024u * 1024u;

struct FrameHeader {
    bool magicOk = false;
    uint32_t length = 0;
};

struct FragmentHeader {
    uint32_t messageId = 0;
    uint32_t count = 0;
    uint32_t total = 0;
    uint32_t number = 0;
    uint32_t length = 0;
    uint32_t slot = 0;
};

// The frames' fields are little-endian (common/platform/ByteOrder.h).
using byteorder::ReadLe32;
using byteorder::WriteLe32;

void EncodeFrameHeader(uint32_t length, uint8_t out[kFrameHeaderSize]);
FrameHeader DecodeFrameHeader(const uint8_t in[kFrameHeaderSize]);

void EncodeFragmentHeader(const FragmentHeader& header, uint8_t out[kFragmentHeaderSize]);
FragmentHeader DecodeFragmentHeader(const uint8_t in[kFragmentHeaderSize]);

// What the receiver does with a fragment header, judged from the header
// alone (matching it against the slot's message comes later).
enum class FragmentVerdict {
    Accept,     // plausible: goes on to the slot it names
    TooLarge,   // total or fragment length above the limit: protocol error
    BadSlot,    // slot other than 0 or 1: its bytes are dropped, no slot touched
    Malformed,  // count 0, number 0 or above count, total 0, or longer than
                // the total: its bytes are dropped and the named slot cleared
};

FragmentVerdict JudgeFragment(const FragmentHeader& header, uint32_t maxLength);

}  // namespace tcplink
