#include "fwbatch/adapter/ArpFrame.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "common/platform/ByteOrder.h"

namespace fwbatch::adapter {
namespace {

constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr uint16_t kHardwareEthernet = 1;
constexpr uint16_t kProtocolIPv4 = 0x0800;
constexpr uint16_t kOperationRequest = 1;
constexpr uint16_t kOperationReply = 2;
constexpr size_t kArpFieldsEnd = 42;  // Ethernet header and the ARP body without padding

// The frame's fields are big-endian.
void Put16(uint8_t* at, uint16_t value) {
    byteorder::WriteBe16(at, value);
}

uint16_t Get16(const uint8_t* at) {
    return byteorder::ReadBe16(at);
}

// address is in network byte order: its bytes go out most significant first.
void PutAddress(uint8_t* at, uint32_t address) {
    byteorder::WriteBe32(at, byteorder::NetworkToHost32(address));
}

uint32_t GetAddress(const uint8_t* at) {
    return byteorder::HostToNetwork32(byteorder::ReadBe32(at));
}

void PutMac(uint8_t* at, const MacAddress& mac) {
    std::memcpy(at, mac.data(), mac.size());
}

MacAddress GetMac(const uint8_t* at) {
    MacAddress mac{};
    std::memcpy(mac.data(), at, mac.size());
    return mac;
}

// An Ethernet ARP frame from `from` with its sender fields; the rest zero.
ArpProbeFrame BuildArpFrame(const MacAddress& destination, const MacAddress& from,
                            uint16_t operation, uint32_t senderAddress) {
    ArpProbeFrame frame{};
    uint8_t* p = frame.data();
    PutMac(p, destination);
    PutMac(p + 6, from);
    Put16(p + 12, kEtherTypeArp);
    Put16(p + 14, kHardwareEthernet);
    Put16(p + 16, kProtocolIPv4);
    p[18] = 6;
    p[19] = 4;
    Put16(p + 20, operation);
    PutMac(p + 22, from);
    PutAddress(p + 28, senderAddress);
    return frame;
}

}  // namespace

ArpProbeFrame BuildArpProbe(const MacAddress& source, uint32_t targetAddress) {
    // Broadcast; the target hardware address and the padding stay zero.
    const MacAddress broadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ArpProbeFrame frame = BuildArpFrame(broadcast, source, kOperationRequest, 0);
    PutAddress(frame.data() + 38, targetAddress);
    return frame;
}

ArpProbeFrame BuildArpReply(const MacAddress& from, uint32_t address, const MacAddress& to) {
    ArpProbeFrame frame = BuildArpFrame(to, from, kOperationReply, address);
    PutMac(frame.data() + 32, to);
    return frame;
}

bool ReadArpProbeTarget(const uint8_t* frame, size_t length, uint32_t& target) {
    if (frame == nullptr || length != kArpProbeSize || Get16(frame + 12) != kEtherTypeArp ||
        Get16(frame + 14) != kHardwareEthernet || Get16(frame + 16) != kProtocolIPv4 ||
        Get16(frame + 20) != kOperationRequest || GetAddress(frame + 28) != 0) {
        return false;
    }
    target = GetAddress(frame + 38);
    return true;
}

bool ReadArpReply(const uint8_t* frame, size_t length, ArpReply& reply) {
    if (frame == nullptr || length < kArpFieldsEnd || Get16(frame + 12) != kEtherTypeArp ||
        Get16(frame + 20) != kOperationReply) {
        return false;
    }
    reply.ethernetSource = GetMac(frame + 6);
    reply.senderMac = GetMac(frame + 22);
    reply.senderAddress = GetAddress(frame + 28);
    return true;
}

bool IsArpAnswerFrom(const uint8_t* frame, size_t length, uint32_t address,
                     const MacAddress& from) {
    ArpReply reply;
    return ReadArpReply(frame, length, reply) && reply.senderAddress == address &&
           reply.ethernetSource == from;
}

bool ParseMacText(const char* text, MacAddress& mac) {
    if (text == nullptr) {
        return false;
    }
    const size_t length = std::strlen(text);
    const bool separated = length == 17;
    if (!separated && length != 12) {
        return false;
    }
    const char separator = separated ? text[2] : '\0';
    if (separated && separator != ':' && separator != '-') {
        return false;
    }
    MacAddress parsed{};
    for (size_t i = 0; i < parsed.size(); ++i) {
        const size_t at = separated ? i * 3 : i * 2;
        if (separated && i > 0 && text[at - 1] != separator) {
            return false;
        }
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text + at, text + at + 2, value, 16);
        if (error != std::errc() || end != text + at + 2) {
            return false;
        }
        parsed[i] = static_cast<uint8_t>(value);
    }
    mac = parsed;
    return true;
}

std::string FormatMacText(const MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

}  // namespace fwbatch::adapter
