#include "common/session/LoginRecord.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/session/CommandMessage.h"
#include "common/session/DeviceInfo.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Every case of tests/data/session/login_vectors.txt (made with Python's
// hashlib by make_login_vectors.py) gives the same 116 bytes here.
TEST(LoginRecord, EveryFormMatchesIndependentlyComputedRecords) {
    std::ifstream in(std::string(CAMPREP_TEST_DATA_DIR) + "/session/login_vectors.txt");
    ASSERT_TRUE(in) << "missing login_vectors.txt";
    const std::array<uint8_t, 6> mac = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string name, user, password, keyHex, recordHex;
        uint32_t transform = 0, mode = 0, session = 0;
        uint64_t r = 0;
        s >> name >> user >> password >> transform >> keyHex >> mode >> session >> r >> recordHex;
        if (user == "-") user.clear();
        if (password == "-") password.clear();
        DeviceGreeting g;
        g.SetWord(3, 3);
        g.SetWord(6, transform);
        const std::vector<uint8_t> key = FromHex(keyHex);
        std::copy(key.begin(), key.end(), g.bytes.begin() + 28);  // memory order
        g.bytes[44] = static_cast<uint8_t>(mode);
        g.SetSessionNumber(session);
        login::Record record{};
        ASSERT_TRUE(login::BuildLoginRecord(user.c_str(), password.c_str(), g, mac,
                                            [r] { return static_cast<uint32_t>(r); }, record))
            << name;
        EXPECT_EQ(std::vector<uint8_t>(record.begin(), record.end()), FromHex(recordHex)) << name;
        ++cases;
    }
    EXPECT_EQ(cases, 8);
}

TEST(LoginRecord, TheSessionNumberComesFromGreetingBytes45To47) {
    DeviceGreeting g;
    g.bytes[45] = 0x40;
    g.bytes[46] = 0xE2;
    g.bytes[47] = 0x01;
    EXPECT_EQ(g.SessionNumber(), 123456u);
    g.bytes[44] = 0xFF;  // the digest-mode byte is not part of it
    g.bytes[48] = 0xFF;
    EXPECT_EQ(g.SessionNumber(), 123456u);
}

TEST(LoginRecord, TheNonceStaysWithinItsRange) {
    DeviceGreeting g;
    g.bytes[44] = 1;
    const std::array<uint8_t, 6> mac{};
    for (uint32_t r : {0u, 1u, 0xFFFEFFu, 0xFFFF00u, 0xFFFFFFFFu}) {
        login::Record record{};
        ASSERT_TRUE(login::BuildLoginRecord("a", "b", g, mac, [r] { return r; }, record));
        const uint32_t nonce = static_cast<uint32_t>(record[68]) | record[69] << 8 | record[70] << 16 |
                               static_cast<uint32_t>(record[71]) << 24;
        EXPECT_GE(nonce, 1u);
        EXPECT_LE(nonce, 0xFFFF00u);
    }
    // The process's own generator gives values in range too.
    login::Record record{};
    ASSERT_TRUE(login::BuildLoginRecord("a", "b", g, mac, {}, record));
    EXPECT_NE(record[68] | record[69] | record[70] | record[71], 0);
}

TEST(LoginRecord, CredentialsThatDoNotFitTheirFieldsAreRefused) {
    DeviceGreeting g;
    const std::array<uint8_t, 6> mac{};
    login::Record record{};
    record.fill(0xEE);
    EXPECT_FALSE(login::BuildLoginRecord(std::string(32, 'u').c_str(), "p", g, mac, {}, record));
    EXPECT_FALSE(login::BuildLoginRecord("u", std::string(32, 'p').c_str(), g, mac, {}, record));
    EXPECT_EQ(record[0], 0xEE);  // untouched
    EXPECT_TRUE(login::BuildLoginRecord(std::string(31, 'u').c_str(), std::string(31, 'p').c_str(), g, mac, {}, record));
    EXPECT_EQ(record[4 + 31], 0);   // terminated
    EXPECT_EQ(record[36 + 31], 0);
}

TEST(LoginRecord, ModeTwoLeavesZeroBytesAlone) {
    DeviceGreeting g;
    g.bytes[44] = 2;
    g.SetSessionNumber(9);  // T = "9"
    const std::array<uint8_t, 6> mac{};
    login::Record record{};
    ASSERT_TRUE(login::BuildLoginRecord("abc", "", g, mac, [] { return 0u; }, record));
    EXPECT_EQ(record[4], 'a' ^ '9');
    EXPECT_EQ(record[6], 'c' ^ '9');
    for (size_t i = 7; i < 36; ++i) EXPECT_EQ(record[i], 0) << i;
}

TEST(DeviceInfoRecord, FilledFromTheReplyBodyAndShortBodiesReadAsZero) {
    std::vector<uint8_t> msg(16 + 112, 0);
    auto put = [&msg](size_t o, uint32_t v) {
        for (int i = 0; i < 4; ++i) msg[16 + o + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    msg[12] = 112;
    put(0, 7);
    put(44, 0x03040201);
    put(40, 1);
    msg[16 + 31] = 0;
    msg[16 + 35] = 9;
    msg[16 + 109] = 1;
    proto::CommandView view;
    ASSERT_TRUE(proto::ParseCommand(msg.data(), msg.size(), view));
    NET_DEVICE_INFO info;
    FillDeviceInfo(view, info);
    EXPECT_EQ(info.value0, 7u);
    EXPECT_EQ(info.softwareVersion, 0x03040201u);
    EXPECT_EQ(info.kindCode, 15u);
    EXPECT_EQ(info.value35, 0u);  // byte 31 is zero
    EXPECT_EQ(info.flag109, 1);
    EXPECT_EQ(info.constant1, 1u);
    EXPECT_EQ(info.constant15, 15u);
    EXPECT_EQ(info.marker1, -1);
    char text[32];
    FormatSoftwareVersion(info.softwareVersion, text);
    EXPECT_STREQ(text, "3.4.2.1");

    // A body that claims more than arrived is read only as far as it goes.
    std::vector<uint8_t> shortMsg(16 + 8, 0);
    shortMsg[12] = 200;
    shortMsg[16] = 5;
    ASSERT_TRUE(proto::ParseCommand(shortMsg.data(), shortMsg.size(), view));
    EXPECT_EQ(view.bodyLength, 8u);
    FillDeviceInfo(view, info);
    EXPECT_EQ(info.value0, 5u);
    EXPECT_EQ(info.softwareVersion, 0u);
    EXPECT_EQ(info.kindCode, 12u);
    EXPECT_FALSE(proto::ParseCommand(shortMsg.data(), 15, view));
}

}  // namespace
