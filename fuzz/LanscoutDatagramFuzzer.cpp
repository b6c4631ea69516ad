// Fuzz target "lanscout_datagram": one received search datagram, decoded as
// a probe and as an answer. Whatever decodes must be valid and must come
// back the same through the encoder.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "lanscout/SearchProtocol.h"

namespace {

using lanscout::DecodeResult;

// Bytes 6 and 7 of both datagrams, 17 of an answer and 19 of a probe are
// reserved: the decoder ignores them and the encoder writes 0.
bool SameExceptReserved(const std::vector<uint8_t>& encoded, const uint8_t* data,
                        std::initializer_list<size_t> reserved) {
    for (size_t i = 0; i < encoded.size(); ++i) {
        bool skip = false;
        for (const size_t r : reserved) {
            skip = skip || i == r;
        }
        if (!skip && encoded[i] != data[i]) {
            return false;
        }
    }
    return true;
}

void CheckProbe(const uint8_t* data, size_t size) {
    lanscout::Probe probe;
    const DecodeResult result = lanscout::DecodeProbe(data, size, probe);
    FUZZ_CHECK(lanscout::DecodeResultText(result) != nullptr);
    if (result != DecodeResult::kOk) {
        return;
    }
    FUZZ_CHECK(size == lanscout::kProbeSize);
    const std::vector<uint8_t> encoded = lanscout::EncodeProbe(probe);
    FUZZ_CHECK(encoded.size() == size);
    FUZZ_CHECK(SameExceptReserved(encoded, data, {6, 7, 19}));
    lanscout::Probe again;
    FUZZ_CHECK(lanscout::DecodeProbe(encoded.data(), encoded.size(), again) == DecodeResult::kOk);
    FUZZ_CHECK(again.searchId == probe.searchId && again.round == probe.round &&
               again.answerSpreadMs == probe.answerSpreadMs && again.hopLimit == probe.hopLimit);
}

void CheckAnswer(const uint8_t* data, size_t size) {
    lanscout::Answer answer;
    const DecodeResult result = lanscout::DecodeAnswer(data, size, answer);
    FUZZ_CHECK(lanscout::DecodeResultText(result) != nullptr);
    if (result != DecodeResult::kOk) {
        return;
    }
    FUZZ_CHECK(size <= lanscout::kMaxDatagram);
    FUZZ_CHECK(lanscout::IsValidMacText(answer.mac));
    FUZZ_CHECK(lanscout::IsValidAnswerText(answer.xml));
    std::vector<uint8_t> encoded;
    FUZZ_CHECK(lanscout::EncodeAnswer(answer, encoded));
    FUZZ_CHECK(encoded.size() == size);
    FUZZ_CHECK(SameExceptReserved(encoded, data, {6, 7, 17}));
    lanscout::Answer again;
    FUZZ_CHECK(lanscout::DecodeAnswer(encoded.data(), encoded.size(), again) == DecodeResult::kOk);
    FUZZ_CHECK(again.searchId == answer.searchId && again.round == answer.round &&
               again.mac == answer.mac && again.xml == answer.xml);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckProbe(data, size);
    CheckAnswer(data, size);
    return 0;
}
