#include "common/session/DeviceGreeting.h"

#include <cstring>

#include "common/link/LinkFrames.h"

DeviceGreeting DeviceGreeting::FromBytes(const uint8_t* data) {
    DeviceGreeting g;
    std::memcpy(g.bytes.data(), data, kSize);
    return g;
}

uint32_t DeviceGreeting::Word(size_t index) const {
    return index < 16 ? tcplink::ReadLe32(bytes.data() + index * 4) : 0;
}

void DeviceGreeting::SetWord(size_t index, uint32_t value) {
    if (index < 16) {
        tcplink::WriteLe32(bytes.data() + index * 4, value);
    }
}

void DeviceGreeting::SetSessionNumber(uint32_t number) {
    bytes[45] = static_cast<uint8_t>(number);
    bytes[46] = static_cast<uint8_t>(number >> 8);
    bytes[47] = static_cast<uint8_t>(number >> 16);
}
