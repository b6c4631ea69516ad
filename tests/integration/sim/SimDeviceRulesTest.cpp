// The device side's own rules, seen from a raw client on the wire: piece
// reassembly and its anomalies, the reply families per upgrade type,
// requests before the login, fragment slots, keep-alive frames and the
// wrong-magic fault.

#include <gtest/gtest.h>

#include <cstring>

#include "SimTestSupport.h"
#include "common/session/DeviceGreeting.h"
#include "common/session/LoginRecord.h"
#include "common/session/ProtocolIds.h"

namespace {

using namespace simtest;

class RawSession : public ::testing::Test {
protected:
    // Starts one device and connects a raw client that has read the greeting.
    void Open(const std::function<void(sim::DeviceConfig&)>& change = {}) {
        simulator = StartSimulator(QuickFleet(1, [&](sim::DeviceConfig& d) {
            d.greeting.digestMode = 0;
            if (change)
                change(d);
        }));
        ASSERT_TRUE(client.Connect(simulator->Address(0), simulator->DataPort(0)));
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(client.ReadGreeting(bytes));
        greeting = DeviceGreeting::FromBytes(bytes.data());
    }
    void LogIn() {
        login::Record record{};
        ASSERT_TRUE(login::BuildLoginRecord(
            "admin", "739164", greeting, {}, [] { return 1u; }, record));
        ASSERT_TRUE(client.SendMessage(proto::CMD_REQUEST_LOGIN, {record.begin(), record.end()}));
        uint32_t id = 0;
        std::vector<uint8_t> body;
        ASSERT_TRUE(client.ReadMessage(id, body));
        ASSERT_EQ(id, proto::kReplyLoginOk);
    }
    void SendPiece(uint32_t command, uint32_t sequence, size_t bytes = 10) {
        std::vector<uint8_t> body = Le32(sequence);
        const std::vector<uint8_t> data = Pattern(bytes, static_cast<uint8_t>(sequence));
        body.insert(body.end(), data.begin(), data.end());
        ASSERT_TRUE(client.SendMessage(command, body));
    }
    // The next reply's identifier and first body word.
    std::pair<uint32_t, uint32_t> Reply() {
        uint32_t id = 0;
        std::vector<uint8_t> body;
        EXPECT_TRUE(client.ReadMessage(id, body));
        return {id, GetLe32(body, 0)};
    }

    std::unique_ptr<sim::Simulator> simulator;
    RawClient client;
    DeviceGreeting greeting;
};

TEST_F(RawSession, PiecesOutOfOrderOrRepeatedAreReportedAndFailTheUpgrade) {
    Open();
    LogIn();
    SendPiece(0x0A02, 1);
    EXPECT_EQ(Reply(), std::make_pair(proto::kReplyProgressA04, 1u));
    SendPiece(0x0A02, 2);
    EXPECT_EQ(Reply(), std::make_pair(proto::kReplyProgressA04, 2u));
    SendPiece(0x0A02, 4);  // 3 skipped
    EXPECT_EQ(Reply().first, proto::kReplyUpgradeA03);

    SendPiece(0x0A02, 1);  // a new upgrade starts
    EXPECT_EQ(Reply(), std::make_pair(proto::kReplyProgressA04, 1u));
    SendPiece(0x0A02, 1);  // repeated
    EXPECT_EQ(Reply().first, proto::kReplyUpgradeA03);
    SendPiece(0x0A02, 2);  // after the failure: reported, not answered
    SendPiece(0x0A02, 1);
    EXPECT_EQ(Reply(), std::make_pair(proto::kReplyProgressA04, 1u));

    const auto records = simulator->Records(0);
    ASSERT_EQ(records.anomalies.size(), 3u);
    EXPECT_EQ(records.anomalies[0], "out-of-order piece 4 (expected 3)");
    EXPECT_EQ(records.anomalies[1], "repeated piece 1 (expected 2)");
    EXPECT_EQ(records.anomalies[2], "piece 2 after the upgrade failed");
    EXPECT_EQ(records.upgradesFailed, 2u);
    EXPECT_TRUE(records.images.empty());
    EXPECT_EQ(records.pieces.size(), 7u);
}

TEST_F(RawSession, ComponentUpgradesAnswerInTheirOwnReplyFamily) {
    Open();
    LogIn();
    SendPiece(0x0805, 1);
    EXPECT_EQ(Reply(), std::make_pair(proto::kReplyProgress0802, 1u));
    SendPiece(0x0801, 2);  // another type in the middle
    EXPECT_EQ(Reply().first, proto::kReplyUpgrade0801);
    EXPECT_EQ(simulator->Records(0).anomalies.at(0), "kernel piece 2 during the ailib upgrade");

    std::vector<uint8_t> image;
    for (uint32_t n = 1; n <= 100; ++n) {
        SendPiece(0x0802, n, n);
        const auto data = Pattern(n, static_cast<uint8_t>(n));
        image.insert(image.end(), data.begin(), data.end());
        EXPECT_EQ(Reply(), std::make_pair(proto::kReplyProgress0802, n));
    }
    EXPECT_EQ(simulator->Records(0).images.at(sim::UpgradeKind::Boot), image);
}

TEST_F(RawSession, RequestsBeforeTheLoginAreNotServed) {
    Open();
    SendPiece(0x0A02, 1);
    ASSERT_TRUE(client.SendMessage(proto::kReqHttp, std::vector<uint8_t>(64, 0)));
    uint32_t id = 0;
    std::vector<uint8_t> body;
    EXPECT_FALSE(client.ReadMessage(id, body, 200));
    ASSERT_TRUE(
        simulator->WaitForRecords(0, [](const auto& r) { return r.anomalies.size() == 2; }));
    EXPECT_EQ(simulator->Records(0).anomalies[0], "request 0x0A02 before the login; not answered");
    LogIn();
    ASSERT_TRUE(client.SendMessage(0x0505, {}));  // served by no device here
    ASSERT_TRUE(simulator->WaitForRecords(
        0, [](const auto& r) { return r.unservedRequests.count(0x0505) == 1; }));
}

TEST_F(RawSession, FragmentsOfOneReplyShareAnIdentifierAndRepliesAlternateSlots) {
    Open([](sim::DeviceConfig& d) { d.link.fragmentSize = 40; });
    LogIn();                                          // the login reply: fragments on slot 0
    std::vector<std::pair<uint32_t, uint32_t>> seen;  // (message id, slot) of each fragment
    for (int reply = 0; reply < 2; ++reply) {
        std::vector<uint8_t> http(64, 0);
        std::memcpy(http.data(), "ImportFacConf", 13);
        ASSERT_TRUE(client.SendMessage(proto::kReqHttp, http));
        for (;;) {
            RawClient::Frame frame;
            ASSERT_TRUE(client.ReadFrame(frame));
            ASSERT_EQ(frame.length, 0xFFFFFFFFu);
            seen.emplace_back(GetLe32(frame.bytes, 0), GetLe32(frame.bytes, 20));
            EXPECT_LE(GetLe32(frame.bytes, 16), 40u);
            if (GetLe32(frame.bytes, 12) == GetLe32(frame.bytes, 4))
                break;
        }
    }
    ASSERT_GE(seen.size(), 4u);
    const auto firstId = seen.front().first;
    for (const auto& [messageId, slot] : seen) {
        EXPECT_EQ(slot, messageId == firstId ? 1u : 0u);  // the login reply took slot 0
    }
    EXPECT_NE(seen.front().first, seen.back().first);
}

TEST_F(RawSession, TheDeviceSendsKeepAliveFrames) {
    Open([](sim::DeviceConfig& d) { d.link.keepAliveMs = 10; });
    RawClient::Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_STREQ(frame.magic, "1111");
    EXPECT_EQ(frame.length, 0u);
}

TEST_F(RawSession, TheChosenReplyCarriesAWrongMagic) {
    Open([](sim::DeviceConfig& d) { d.faults.badMagicReply = 2; });
    LogIn();
    std::vector<uint8_t> http(64, 0);
    std::memcpy(http.data(), "ImportFacConf", 13);
    ASSERT_TRUE(client.SendMessage(proto::kReqHttp, http));
    RawClient::Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    EXPECT_STREQ(frame.magic, "2222");
}

TEST_F(RawSession, AWrongMagicFromTheProgramClosesTheConnection) {
    Open();
    ASSERT_TRUE(client.Send({'X', '1', '1', '1', 0, 0, 0, 0}));
    EXPECT_TRUE(client.ClosedByPeer());
    EXPECT_EQ(simulator->Records(0).anomalies.at(0), "frame with a wrong magic; connection closed");
}

TEST_F(RawSession, ASilentDeviceAfterTheLoginIgnoresRequests) {
    Open([](sim::DeviceConfig& d) { d.faults.silence = sim::Silence::AfterLogin; });
    LogIn();
    SendPiece(0x0A02, 1);
    uint32_t id = 0;
    std::vector<uint8_t> body;
    EXPECT_FALSE(client.ReadMessage(id, body, 200));
    EXPECT_TRUE(
        simulator->WaitForRecords(0, [](const auto& r) { return r.ignoredWhileSilent == 1; }));
    EXPECT_TRUE(simulator->Records(0).pieces.empty());
}

}  // namespace
