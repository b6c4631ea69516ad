#include "common/link/LinkFrames.h"

namespace tcplink {

void EncodeFrameHeader(uint32_t length, uint8_t out[kFrameHeaderSize]) {
    out[0] = out[1] = out[2] = out[3] = '1';
    WriteLe32(out + 4, length);
}

FrameHeader DecodeFrameHeader(const uint8_t in[kFrameHeaderSize]) {
    FrameHeader header;
    header.magicOk = in[0] == '1' && in[1] == '1' && in[2] == '1' && in[3] == '1';
    header.length = ReadLe32(in + 4);
    return header;
}

void EncodeFragmentHeader(const FragmentHeader& header, uint8_t out[kFragmentHeaderSize]) {
    WriteLe32(out + 0, header.messageId);
    WriteLe32(out + 4, header.count);
    WriteLe32(out + 8, header.total);
    WriteLe32(out + 12, header.number);
    WriteLe32(out + 16, header.length);
    WriteLe32(out + 20, header.slot);
}

FragmentHeader DecodeFragmentHeader(const uint8_t in[kFragmentHeaderSize]) {
    FragmentHeader header;
    header.messageId = ReadLe32(in + 0);
    header.count = ReadLe32(in + 4);
    header.total = ReadLe32(in + 8);
    header.number = ReadLe32(in + 12);
    header.length = ReadLe32(in + 16);
    header.slot = ReadLe32(in + 20);
    return header;
}

FragmentVerdict JudgeFragment(const FragmentHeader& header, uint32_t maxLength) {
    if (header.total > maxLength || header.length > maxLength) {
        return FragmentVerdict::TooLarge;
    }
    if (header.slot >= kReassemblySlots) {
        return FragmentVerdict::BadSlot;
    }
    if (header.count == 0 || header.number == 0 || header.number > header.count ||
        header.total == 0 || header.length > header.total) {
        return FragmentVerdict::Malformed;
    }
    return FragmentVerdict::Accept;
}

}  // namespace tcplink
