#pragma once
// The ARP probe that adapter preparation sends, and the reading of the
// answers it waits for. Pure functions over bytes; addresses are uint32_t
// in network byte order, as everywhere in the network layer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fwbatch::adapter {

using MacAddress = std::array<uint8_t, 6>;

constexpr size_t kArpProbeSize = 60;
using ArpProbeFrame = std::array<uint8_t, kArpProbeSize>;

// A broadcast ARP request "who has target, tell 0.0.0.0" from source: the
// sender claims no address, so the probe changes no neighbour's ARP cache.
// Padded with zeros to the Ethernet minimum of 60 bytes.
ArpProbeFrame BuildArpProbe(const MacAddress& source, uint32_t targetAddress);

// The reply a station sends to a probe: "address is at from", sent to
// `to`. The adapter helper's answers are handed on in this form, so that
// they are read as captured answers are.
ArpProbeFrame BuildArpReply(const MacAddress& from, uint32_t address, const MacAddress& to);

// The address that a probe as BuildArpProbe makes asks for; false for any
// other frame.
bool ReadArpProbeTarget(const uint8_t* frame, size_t length, uint32_t& target);

// What an ARP reply tells about who answered.
struct ArpReply {
    MacAddress ethernetSource{};  // offset 6
    MacAddress senderMac{};       // offset 22
    uint32_t senderAddress = 0;   // offset 28, network byte order
};

// True when frame is an Ethernet ARP reply (EtherType 0x0806, operation 2)
// long enough to hold the sender fields; fills reply.
bool ReadArpReply(const uint8_t* frame, size_t length, ArpReply& reply);

// True when frame is an ARP reply for address whose Ethernet source is from.
bool IsArpAnswerFrom(const uint8_t* frame, size_t length, uint32_t address, const MacAddress& from);

// The six bytes of a MAC text: six two-digit hex groups separated by ':'
// or '-', or twelve hex digits in a row. False (mac untouched) otherwise.
bool ParseMacText(const char* text, MacAddress& mac);

// "02:53:49:4D:00:09": upper-case hex pairs separated by ':'.
std::string FormatMacText(const MacAddress& mac);

}  // namespace fwbatch::adapter
