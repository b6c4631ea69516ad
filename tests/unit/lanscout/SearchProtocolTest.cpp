// The search datagrams, byte by byte as docs/search-protocol.md lays them
// out, and the decoders' refusal of every malformed datagram.

#include "lanscout/SearchProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using lanscout::Answer;
using lanscout::DecodeResult;
using lanscout::Probe;
using Bytes = std::vector<uint8_t>;

// Written by hand from the documented layout, not by the encoder.
const Bytes kProbeBytes = {
    'L',  'S',  'C',  'T',   // magic
    0x01,                    // version
    0x01,                    // type: probe
    0x00, 0x00,              // reserved
    0x78, 0x56, 0x34, 0x12,  // search id 0x12345678
    0x05, 0x00, 0x00, 0x00,  // round 5
    0xF4, 0x01,              // answer spread 500 ms
    0x20,                    // hop limit 32
    0x00,                    // reserved
};

const Bytes kAnswerBytes = {
    'L',  'S',  'C',  'T',                   // magic
    0x01,                                    // version
    0x02,                                    // type: answer
    0x00, 0x00,                              // reserved
    0x78, 0x56, 0x34, 0x12,                  // search id echoed
    0x05, 0x00, 0x00, 0x00,                  // round echoed
    0x04,                                    // MAC length
    0x00,                                    // reserved
    0x07, 0x00,                              // text length
    'a',  'b',  '-',  '1',                   // MAC text
    '<',  'x',  '>',  0xC3, 0xA9, '<', '/',  // text: "<x>é</" (UTF-8 kept as bytes)
};

TEST(SearchProtocol, ProbeEncodesToTheDocumentedBytes) {
    Probe probe;
    probe.searchId = 0x12345678;
    probe.round = 5;
    probe.answerSpreadMs = 500;
    probe.hopLimit = 32;
    EXPECT_EQ(lanscout::EncodeProbe(probe), kProbeBytes);

    Probe decoded;
    ASSERT_EQ(lanscout::DecodeProbe(kProbeBytes.data(), kProbeBytes.size(), decoded),
              DecodeResult::kOk);
    EXPECT_EQ(decoded.searchId, 0x12345678u);
    EXPECT_EQ(decoded.round, 5u);
    EXPECT_EQ(decoded.answerSpreadMs, 500);
    EXPECT_EQ(decoded.hopLimit, 32);
}

TEST(SearchProtocol, AnswerEncodesToTheDocumentedBytes) {
    Answer answer;
    answer.searchId = 0x12345678;
    answer.round = 5;
    answer.mac = "ab-1";
    answer.xml = "<x>\xC3\xA9</";
    Bytes out;
    ASSERT_TRUE(lanscout::EncodeAnswer(answer, out));
    EXPECT_EQ(out, kAnswerBytes);

    Answer decoded;
    ASSERT_EQ(lanscout::DecodeAnswer(kAnswerBytes.data(), kAnswerBytes.size(), decoded),
              DecodeResult::kOk);
    EXPECT_EQ(decoded.searchId, 0x12345678u);
    EXPECT_EQ(decoded.round, 5u);
    EXPECT_EQ(decoded.mac, "ab-1");
    EXPECT_EQ(decoded.xml, answer.xml);
}

TEST(SearchProtocol, LargestAnswerRoundTripsAndOneByteMoreIsRefused) {
    Answer answer;
    answer.mac = std::string(lanscout::kMaxMacLength, 'F');
    answer.xml = std::string(lanscout::kMaxAnswerText, 'x');
    Bytes out;
    ASSERT_TRUE(lanscout::EncodeAnswer(answer, out));
    EXPECT_EQ(out.size(), lanscout::kMaxDatagram);
    Answer decoded;
    ASSERT_EQ(lanscout::DecodeAnswer(out.data(), out.size(), decoded), DecodeResult::kOk);
    EXPECT_EQ(decoded.xml.size(), lanscout::kMaxAnswerText);

    answer.xml.push_back('x');
    EXPECT_FALSE(lanscout::EncodeAnswer(answer, out));
    EXPECT_TRUE(out.empty());
    answer.xml.pop_back();
    answer.mac.push_back('F');  // 20 characters: more than the receivers' 19
    EXPECT_FALSE(lanscout::EncodeAnswer(answer, out));
}

TEST(SearchProtocol, EncoderRefusesTextsTheReceiversCannotTake) {
    Bytes out;
    Answer answer;
    answer.mac = "00:11:22:33:44:55";
    answer.xml = "";  // nothing to report
    EXPECT_FALSE(lanscout::EncodeAnswer(answer, out));
    answer.xml = std::string("<a>\0</a>", 8);  // a NUL would cut the callback's text
    EXPECT_FALSE(lanscout::EncodeAnswer(answer, out));
    answer.xml = "<a/>";
    for (const char* mac : {"", "00 11", "00:11\n", "\x7F"}) {
        answer.mac = mac;
        EXPECT_FALSE(lanscout::EncodeAnswer(answer, out)) << mac;
    }
}

TEST(SearchProtocol, EveryTruncationOfAValidDatagramIsRefused) {
    for (size_t size = 0; size < kProbeBytes.size(); ++size) {
        Probe probe;
        EXPECT_NE(lanscout::DecodeProbe(kProbeBytes.data(), size, probe), DecodeResult::kOk)
            << size;
    }
    for (size_t size = 0; size < kAnswerBytes.size(); ++size) {
        Answer answer;
        const DecodeResult result = lanscout::DecodeAnswer(kAnswerBytes.data(), size, answer);
        EXPECT_NE(result, DecodeResult::kOk) << size;
        EXPECT_TRUE(answer.mac.empty() && answer.xml.empty()) << size;
    }
    Probe probe;
    Answer answer;
    EXPECT_EQ(lanscout::DecodeProbe(nullptr, 20, probe), DecodeResult::kTooShort);
    EXPECT_EQ(lanscout::DecodeAnswer(nullptr, 40, answer), DecodeResult::kTooShort);
}

TEST(SearchProtocol, HeaderFieldsAreChecked) {
    Probe probe;
    Answer answer;
    Bytes bad = kProbeBytes;
    bad[0] = 'X';
    EXPECT_EQ(lanscout::DecodeProbe(bad.data(), bad.size(), probe), DecodeResult::kBadMagic);
    bad = kProbeBytes;
    bad[4] = 2;
    EXPECT_EQ(lanscout::DecodeProbe(bad.data(), bad.size(), probe), DecodeResult::kBadVersion);
    // A probe is not an answer and an answer is not a probe.
    EXPECT_EQ(lanscout::DecodeAnswer(kProbeBytes.data(), kProbeBytes.size(), answer),
              DecodeResult::kWrongType);
    EXPECT_EQ(lanscout::DecodeProbe(kAnswerBytes.data(), kAnswerBytes.size(), probe),
              DecodeResult::kWrongType);
    // Trailing bytes are refused as well.
    bad = kProbeBytes;
    bad.push_back(0);
    EXPECT_EQ(lanscout::DecodeProbe(bad.data(), bad.size(), probe), DecodeResult::kBadLength);
}

TEST(SearchProtocol, AnswerLengthsMustAddUpExactly) {
    Answer answer;
    Bytes bad = kAnswerBytes;
    bad.push_back('x');  // one byte more than declared
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadLength);
    bad = kAnswerBytes;
    bad[18] = 0xFF;  // declares far more text than there is
    bad[19] = 0xFF;
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadLength);
    bad = kAnswerBytes;
    bad[16] = 0xFF;  // MAC length beyond the datagram
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadLength);
}

TEST(SearchProtocol, AnswerContentIsChecked) {
    Answer answer;
    // MAC length 0, text takes all: no MAC.
    Bytes bad = kAnswerBytes;
    bad[16] = 0;
    bad[18] = 11;
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadMac);
    // MAC length 20 (text length reduced to keep the total): longer than 19.
    Bytes longMac(lanscout::kAnswerHeaderSize, 0);
    std::copy(kAnswerBytes.begin(), kAnswerBytes.begin() + 16, longMac.begin());
    longMac[16] = 20;
    longMac[18] = 1;
    longMac.insert(longMac.end(), 20, 'A');
    longMac.push_back('x');
    EXPECT_EQ(lanscout::DecodeAnswer(longMac.data(), longMac.size(), answer),
              DecodeResult::kBadMac);
    // A control character in the MAC.
    bad = kAnswerBytes;
    bad[21] = '\n';
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadMac);
    // Text length 0: nothing to report.
    bad = kAnswerBytes;
    bad.resize(lanscout::kAnswerHeaderSize + 4);
    bad[18] = 0;
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadText);
    // A NUL inside the text.
    bad = kAnswerBytes;
    bad[26] = 0;
    EXPECT_EQ(lanscout::DecodeAnswer(bad.data(), bad.size(), answer), DecodeResult::kBadText);
}

TEST(SearchProtocol, DatagramLargerThanTheLimitIsRefused) {
    Answer answer;
    answer.mac = "m";
    answer.xml = std::string(lanscout::kMaxAnswerText, 'x');
    Bytes out;
    ASSERT_TRUE(lanscout::EncodeAnswer(answer, out));
    // With a 1-character MAC, declare and supply a text that makes the
    // datagram one byte longer than the limit.
    const size_t text = lanscout::kMaxAnswerText + lanscout::kMaxMacLength;
    out[18] = static_cast<uint8_t>(text & 0xFF);
    out[19] = static_cast<uint8_t>(text >> 8);
    out.resize(lanscout::kAnswerHeaderSize + 1 + text, 'x');
    Answer decoded;
    EXPECT_EQ(lanscout::DecodeAnswer(out.data(), out.size(), decoded), DecodeResult::kBadLength);
}

TEST(SearchProtocol, ResultTextsAreDistinct) {
    const DecodeResult all[] = {DecodeResult::kOk,        DecodeResult::kTooShort,
                                DecodeResult::kBadMagic,  DecodeResult::kBadVersion,
                                DecodeResult::kWrongType, DecodeResult::kBadLength,
                                DecodeResult::kBadMac,    DecodeResult::kBadText};
    for (const auto a : all) {
        for (const auto b : all) {
            if (a != b) {
                EXPECT_STRNE(lanscout::DecodeResultText(a), lanscout::DecodeResultText(b));
            }
        }
    }
}

}  // namespace
