#pragma once
// The search datagrams: a probe multicast by the searcher and an answer
// multicast by each device. Encoding and decoding are pure functions over
// bytes; every length is checked before it is used. Layouts are in
// docs/search-protocol.md.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lanscout {

inline constexpr char kSearchGroup[] = "239.255.76.83";
inline constexpr uint16_t kProbePort = 38611;
inline constexpr uint16_t kAnswerPort = 38612;

inline constexpr uint8_t kProtocolVersion = 1;
inline constexpr uint8_t kTypeProbe = 1;
inline constexpr uint8_t kTypeAnswer = 2;

inline constexpr size_t kProbeSize = 20;
inline constexpr size_t kAnswerHeaderSize = 20;
inline constexpr size_t kMaxDatagram = 8192;
inline constexpr size_t kMaxMacLength = 19;
inline constexpr size_t kMaxAnswerText = kMaxDatagram - kAnswerHeaderSize - kMaxMacLength;
// A responder never waits longer than this before answering, whatever the probe asks.
inline constexpr uint16_t kMaxAnswerSpreadMs = 10000;

struct Probe {
    uint32_t searchId = 0;  // chosen at random by each searcher
    uint32_t round = 0;     // counts the searcher's rounds
    uint16_t answerSpreadMs = 0;
    uint8_t hopLimit = 1;
};

struct Answer {
    uint32_t searchId = 0;  // echoed from the probe (0 when unsolicited)
    uint32_t round = 0;     // echoed from the probe
    std::string mac;
    std::string xml;
};

enum class DecodeResult {
    kOk,
    kTooShort,    // shorter than its fixed header
    kBadMagic,    // not a search datagram
    kBadVersion,  // another protocol version
    kWrongType,   // a probe where an answer is expected or the reverse
    kBadLength,   // the declared lengths do not add up to the datagram's size
    kBadMac,      // MAC text empty, too long or not printable
    kBadText,     // answer text empty or holding a NUL byte
};

// 1 to 19 printable ASCII characters (0x21..0x7E).
bool IsValidMacText(std::string_view mac);

// 1 to kMaxAnswerText bytes without a NUL byte.
bool IsValidAnswerText(std::string_view xml);

std::vector<uint8_t> EncodeProbe(const Probe& probe);
DecodeResult DecodeProbe(const uint8_t* data, size_t size, Probe& probe);

// False (out left empty) when the MAC or the text is not valid.
bool EncodeAnswer(const Answer& answer, std::vector<uint8_t>& out);
DecodeResult DecodeAnswer(const uint8_t* data, size_t size, Answer& answer);

const char* DecodeResultText(DecodeResult result);

}  // namespace lanscout
