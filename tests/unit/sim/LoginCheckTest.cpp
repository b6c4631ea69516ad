// The device's reading of login records, against records made outside the
// project (tests/data/session/login_vectors.txt, from Python's hashlib).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/LoginCheck.h"

namespace {

struct Vector {
    std::string name, user, password;
    uint32_t transform = 0;
    std::string keyHex;
    int digestMode = 0;
    uint32_t session = 0;
    std::vector<uint8_t> record;
};

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<Vector> LoadVectors() {
    std::ifstream in(std::string(CAMPREP_TEST_DATA_DIR) + "/session/login_vectors.txt");
    std::vector<Vector> vectors;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        Vector v;
        uint64_t r = 0;
        std::string record;
        if (!(s >> v.name >> v.user >> v.password >> v.transform >> v.keyHex >> v.digestMode >>
              v.session >> r >> record))
            continue;
        if (v.user == "-")
            v.user.clear();
        if (v.password == "-")
            v.password.clear();
        v.record = FromHex(record);
        vectors.push_back(v);
    }
    return vectors;
}

DeviceGreeting GreetingOf(const Vector& v) {
    DeviceGreeting g;
    g.SetWord(3, 3);
    g.SetWord(6, v.transform);
    const std::vector<uint8_t> key = FromHex(v.keyHex);
    for (size_t i = 0; i < 4; ++i)
        g.bytes[28 + i] = key[i];
    g.bytes[44] = static_cast<uint8_t>(v.digestMode);
    g.SetSessionNumber(v.session);
    return g;
}

TEST(LoginCheck, EveryKnownRecordIsAcceptedWithItsCredentials) {
    const std::vector<Vector> vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 8u);
    for (const Vector& v : vectors) {
        const sim::LoginCheck check = sim::CheckLoginRecord(v.record.data(), v.record.size(),
                                                            GreetingOf(v), v.user, v.password);
        EXPECT_TRUE(check.accepted) << v.name << ": " << check.problem;
        EXPECT_EQ(check.user, v.user) << v.name;
        EXPECT_EQ(check.mac, (std::array<uint8_t, 6>{0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}))
            << v.name;
    }
}

TEST(LoginCheck, AnyOtherPasswordOrUserIsRefused) {
    for (const Vector& v : LoadVectors()) {
        const DeviceGreeting g = GreetingOf(v);
        EXPECT_FALSE(
            sim::CheckLoginRecord(v.record.data(), v.record.size(), g, v.user, v.password + "x")
                .accepted)
            << v.name;
        EXPECT_FALSE(
            sim::CheckLoginRecord(v.record.data(), v.record.size(), g, v.user + "x", v.password)
                .accepted)
            << v.name;
        // The same record read under another session number fails the digest.
        if (v.digestMode != 0 && v.transform == 0) {
            DeviceGreeting other = g;
            other.SetSessionNumber(v.session + 1);
            EXPECT_FALSE(
                sim::CheckLoginRecord(v.record.data(), v.record.size(), other, v.user, v.password)
                    .accepted)
                << v.name;
        }
    }
}

TEST(LoginCheck, TheFormFollowsTheGreeting) {
    DeviceGreeting g;
    EXPECT_EQ(sim::FormOf(g), sim::LoginForm::Plain);
    g.bytes[44] = 3;  // unknown digest mode: plain
    EXPECT_EQ(sim::FormOf(g), sim::LoginForm::Plain);
    g.bytes[44] = 2;
    EXPECT_EQ(sim::FormOf(g), sim::LoginForm::Digest2);
    g.SetWord(6, 0x10000);
    EXPECT_EQ(sim::FormOf(g), sim::LoginForm::Transform);
}

TEST(LoginCheck, MalformedRecordsAreRefusedWithAReason) {
    DeviceGreeting g;
    std::vector<uint8_t> record(116, 0);
    EXPECT_FALSE(sim::CheckLoginRecord(record.data(), 115, g, "", "").accepted);
    EXPECT_EQ(sim::CheckLoginRecord(nullptr, 116, g, "", "").problem,
              "login record shorter than 116 bytes");
    // An empty user and password in plain form is a valid record.
    EXPECT_TRUE(sim::CheckLoginRecord(record.data(), record.size(), g, "", "").accepted);
    // A user name field without its terminating zero.
    std::fill(record.begin() + 4, record.begin() + 36, 'a');
    EXPECT_FALSE(
        sim::CheckLoginRecord(record.data(), record.size(), g, std::string(32, 'a'), "").accepted);

    // Digest form with a nonce of 0 (the program's nonces are 1..0xFFFF00).
    for (const Vector& v : LoadVectors()) {
        if (v.name != "digest1")
            continue;
        std::vector<uint8_t> bad = v.record;
        bad[68] = bad[69] = bad[70] = bad[71] = 0;
        const sim::LoginCheck check =
            sim::CheckLoginRecord(bad.data(), bad.size(), GreetingOf(v), v.user, v.password);
        EXPECT_FALSE(check.accepted);
        EXPECT_EQ(check.problem, "nonce outside 1..0xFFFF00");
    }
}

TEST(LoginCheck, ScramblingIsItsOwnInverseUnlessAByteBecomesZero) {
    uint8_t field[32] = {'a', 'd', 'm', 'i', 'n'};
    sim::ScrambleUserField(field, 123456);
    EXPECT_EQ(field[0], 'a' ^ '1');
    EXPECT_EQ(field[4], 'n' ^ '5');
    EXPECT_EQ(field[5], 0);  // zero bytes stay
    sim::ScrambleUserField(field, 123456);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field)), "admin");
}

TEST(LoginCheck, DigestOfKnownText) {
    // SHA-1 of MD5("739164") in upper-case hex + "00123456", from the same
    // vectors: bytes 36..55 of the digest1 record.
    for (const Vector& v : LoadVectors()) {
        if (v.name != "digest1")
            continue;
        const auto digest = sim::PasswordDigest(v.password, v.session);
        EXPECT_TRUE(std::equal(digest.begin(), digest.end(), v.record.begin() + 36));
    }
}

}  // namespace
