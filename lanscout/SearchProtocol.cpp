#include "lanscout/SearchProtocol.h"

#include "common/platform/ByteOrder.h"

namespace lanscout {
namespace {

constexpr uint8_t kMagic[4] = {'L', 'S', 'C', 'T'};

void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    byteorder::WriteLe16(out.data() + at, value);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    byteorder::WriteLe32(out.data() + at, value);
}

uint16_t GetU16(const uint8_t* data, size_t at) {
    return byteorder::ReadLe16(data + at);
}

uint32_t GetU32(const uint8_t* data, size_t at) {
    return byteorder::ReadLe32(data + at);
}

void PutHeader(std::vector<uint8_t>& out, uint8_t type, uint32_t searchId, uint32_t round) {
    for (size_t i = 0; i < 4; ++i) {
        out[i] = kMagic[i];
    }
    out[4] = kProtocolVersion;
    out[5] = type;
    PutU16(out, 6, 0);
    PutU32(out, 8, searchId);
    PutU32(out, 12, round);
}

// Checks the common first 8 bytes; the caller has checked the size.
DecodeResult CheckHeader(const uint8_t* data, uint8_t type) {
    for (size_t i = 0; i < 4; ++i) {
        if (data[i] != kMagic[i]) {
            return DecodeResult::kBadMagic;
        }
    }
    if (data[4] != kProtocolVersion) {
        return DecodeResult::kBadVersion;
    }
    if (data[5] != type) {
        return DecodeResult::kWrongType;
    }
    return DecodeResult::kOk;
}

}  // namespace

bool IsValidMacText(std::string_view mac) {
    if (mac.empty() || mac.size() > kMaxMacLength) {
        return false;
    }
    for (const char c : mac) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7E) {
            return false;
        }
    }
    return true;
}

bool IsValidAnswerText(std::string_view xml) {
    return !xml.empty() && xml.size() <= kMaxAnswerText && xml.find('\0') == std::string_view::npos;
}

std::vector<uint8_t> EncodeProbe(const Probe& probe) {
    std::vector<uint8_t> out(kProbeSize, 0);
    PutHeader(out, kTypeProbe, probe.searchId, probe.round);
    PutU16(out, 16, probe.answerSpreadMs);
    out[18] = probe.hopLimit;
    out[19] = 0;
    return out;
}

DecodeResult DecodeProbe(const uint8_t* data, size_t size, Probe& probe) {
    if (data == nullptr || size < 8) {
        return DecodeResult::kTooShort;
    }
    const DecodeResult header = CheckHeader(data, kTypeProbe);
    if (header != DecodeResult::kOk) {
        return header;
    }
    if (size < kProbeSize) {
        return DecodeResult::kTooShort;
    }
    if (size != kProbeSize) {
        return DecodeResult::kBadLength;
    }
    probe.searchId = GetU32(data, 8);
    probe.round = GetU32(data, 12);
    probe.answerSpreadMs = GetU16(data, 16);
    probe.hopLimit = data[18];
    return DecodeResult::kOk;
}

bool EncodeAnswer(const Answer& answer, std::vector<uint8_t>& out) {
    out.clear();
    if (!IsValidMacText(answer.mac) || !IsValidAnswerText(answer.xml)) {
        return false;
    }
    out.assign(kAnswerHeaderSize, 0);
    PutHeader(out, kTypeAnswer, answer.searchId, answer.round);
    out[16] = static_cast<uint8_t>(answer.mac.size());
    out[17] = 0;
    PutU16(out, 18, static_cast<uint16_t>(answer.xml.size()));
    out.insert(out.end(), answer.mac.begin(), answer.mac.end());
    out.insert(out.end(), answer.xml.begin(), answer.xml.end());
    return true;
}

DecodeResult DecodeAnswer(const uint8_t* data, size_t size, Answer& answer) {
    if (data == nullptr || size < 8) {
        return DecodeResult::kTooShort;
    }
    const DecodeResult header = CheckHeader(data, kTypeAnswer);
    if (header != DecodeResult::kOk) {
        return header;
    }
    if (size < kAnswerHeaderSize) {
        return DecodeResult::kTooShort;
    }
    const size_t macLength = data[16];
    const size_t textLength = GetU16(data, 18);
    if (size > kMaxDatagram || size != kAnswerHeaderSize + macLength + textLength) {
        return DecodeResult::kBadLength;
    }
    const auto* mac = reinterpret_cast<const char*>(data + kAnswerHeaderSize);
    const std::string_view macText(mac, macLength);
    if (!IsValidMacText(macText)) {
        return DecodeResult::kBadMac;
    }
    const std::string_view text(mac + macLength, textLength);
    if (!IsValidAnswerText(text)) {
        return DecodeResult::kBadText;
    }
    answer.searchId = GetU32(data, 8);
    answer.round = GetU32(data, 12);
    answer.mac.assign(macText);
    answer.xml.assign(text);
    return DecodeResult::kOk;
}

const char* DecodeResultText(DecodeResult result) {
    switch (result) {
        case DecodeResult::kOk:
            return "ok";
        case DecodeResult::kTooShort:
            return "too short";
        case DecodeResult::kBadMagic:
            return "not a search datagram";
        case DecodeResult::kBadVersion:
            return "unknown protocol version";
        case DecodeResult::kWrongType:
            return "unexpected datagram type";
        case DecodeResult::kBadLength:
            return "lengths do not match the datagram";
        case DecodeResult::kBadMac:
            return "invalid MAC text";
        case DecodeResult::kBadText:
            return "invalid answer text";
    }
    return "unknown";
}

}  // namespace lanscout
