// Push jobs: the version rule, credentials as 8-bit text, the job's own
// copies, and the result texts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace std::string_literals;

#include "FacTestSupport.h"
#include "cfgpush/engine/CfgpushStringIds.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/PushJob.h"
#include "cfgpush/engine/PushResult.h"
#include "cfgpush/engine/PushTargetFromRecord.h"
#include "cfgpush/engine/SendData.h"

namespace {

TEST(PushJob, VersionRule) {
    EXPECT_TRUE(cfgpush::IsVersion3Software("3.4.2"));
    EXPECT_TRUE(cfgpush::IsVersion3Software("3"));
    EXPECT_TRUE(cfgpush::IsVersion3Software("30.1"));  // only the first character counts
    EXPECT_FALSE(cfgpush::IsVersion3Software("4.0.1"));
    EXPECT_FALSE(cfgpush::IsVersion3Software(""));
    EXPECT_FALSE(cfgpush::IsVersion3Software(" 3.4"));
    EXPECT_FALSE(cfgpush::IsVersion3Software("V3.4"));
}

TEST(PushJob, CredentialsKeepTheLowByteOfEachCharacter) {
    EXPECT_EQ(cfgpush::LowBytesOfUtf16(u"admin"), "admin");
    EXPECT_EQ(cfgpush::LowBytesOfUtf16(u"\u00e9\u0141\u4e2d"), "\xe9\x41\x2d");
    EXPECT_EQ(cfgpush::LowBytesOfUtf8("739164"), "739164");
    // é (U+00E9), Ł (U+0141), 中 (U+4E2D), 😀 (U+1F600 = D83D DE00).
    EXPECT_EQ(cfgpush::LowBytesOfUtf8("\xc3\xa9\xc5\x81\xe4\xb8\xad\xf0\x9f\x98\x80"),
              "\xe9\x41\x2d\x3d\x00"s);
    // Bytes that are not UTF-8 pass unchanged.
    EXPECT_EQ(cfgpush::LowBytesOfUtf8("a\xff"
                                      "b\xc3"),
              "a\xff"
              "b\xc3");
    EXPECT_EQ(cfgpush::LowBytesOfUtf8("\xe4\xb8"), "\xe4\xb8");
}

TEST(PushJob, JobOwnsCopiesAndItsPayload) {
    cfgpush::FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("small.fac")), cfgpush::FacLoadResult::kLoaded);
    cfgpush::FactoryItemLists lists;
    ASSERT_TRUE(cfgpush::BuildItemLists(package, 1, lists));

    SEARCH_DEVICE_INFO device;
    std::memset(&device, 0, sizeof device);
    std::strcpy(device.ip[0], "192.168.1.20");
    std::strcpy(device.ip[1], "10.0.0.20");
    std::strcpy(device.mac, "00:11:22:AA:BB:CC-and-more-text");
    std::strcpy(device.softwareVer, "3.4.2");
    device.dataPort = 0x10000 + 30001;
    device.httpPort = 80;

    cfgpush::_file_cfg_info job;
    std::string user = "admin";
    std::string password = "739164";
    ASSERT_TRUE(cfgpush::MakePushJob(7, cfgpush::PushTargetFromRecord(device), user, password,
                                     lists, package, job));
    EXPECT_EQ(job.rowIndex, 7);
    EXPECT_STREQ(job.firstAddress, "192.168.1.20");
    EXPECT_STREQ(job.secondAddress, "10.0.0.20");
    EXPECT_EQ(job.dataPort, 0x10000 + 30001);
    EXPECT_EQ(job.webPort, 80);
    EXPECT_STREQ(job.mac, "00:11:22:AA:BB:CC-a");  // 19 bytes and a zero
    EXPECT_STREQ(job.softwareVersion, "3.4.2");
    EXPECT_TRUE(job.version3);
    std::vector<uint8_t> v3;
    ASSERT_TRUE(cfgpush::GetSendData(false, lists, package, v3));
    EXPECT_EQ(job.payload, v3);

    // The caller's texts and lists may go away; the job keeps its own.
    user.assign("changed");
    password.assign("changed");
    lists.Clear();
    package.Clear();
    EXPECT_EQ(job.userName, "admin");
    EXPECT_EQ(job.password, "739164");
    EXPECT_EQ(job.payload, v3);

    // An empty or other version takes the version-4 payload.
    std::strcpy(device.softwareVer, "");
    cfgpush::FacPackage again;
    ASSERT_EQ(again.Load(fac_test::DataPath("small.fac")), cfgpush::FacLoadResult::kLoaded);
    ASSERT_TRUE(cfgpush::BuildItemLists(again, 1, lists));
    ASSERT_TRUE(cfgpush::MakePushJob(0, cfgpush::PushTargetFromRecord(device), "u", "p", lists,
                                     again, job));
    EXPECT_FALSE(job.version3);
    std::vector<uint8_t> v4;
    ASSERT_TRUE(cfgpush::GetSendData(true, lists, again, v4));
    EXPECT_EQ(job.payload, v4);
}

TEST(PushResult, StringIds) {
    EXPECT_EQ(cfgpush::PushResultStringId(cfgpush::kPushSuccess), cfgpush::ids::kResultSuccess);
    EXPECT_EQ(cfgpush::PushResultStringId(1), 1013u);
    EXPECT_EQ(cfgpush::PushResultStringId(2), 1014u);
    EXPECT_EQ(cfgpush::PushResultStringId(cfgpush::kPushDisconnected), 1015u);
    EXPECT_EQ(cfgpush::PushResultStringId(cfgpush::kPushVersion3Failed), 1016u);
    EXPECT_EQ(cfgpush::PushResultStringId(cfgpush::kPushVersion4Failed), 1016u);
    EXPECT_EQ(cfgpush::PushResultStringId(5), 1016u);
    EXPECT_EQ(cfgpush::PushResultStringId(0x7FFFFFFF), 1016u);
    EXPECT_EQ(cfgpush::ids::kResultSuccess, 1011u);
}

}  // namespace
