// The library's calls and the responder's identities where no search runs:
// argument checks and the order of calls. Nothing here opens a socket.

#include <gtest/gtest.h>

#include <string>

#include "lanscout/Lanscout.h"
#include "lanscout/Responder.h"
#include "lanscout/SearchProtocol.h"

namespace {

void Ignore(const char*, int, const char*, void*) {}

TEST(LanscoutCalls, StartNeedsARegisteredCallback) {
    EXPECT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);  // harmless when nothing runs
    EXPECT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_ERR_NOT_INITIALISED);
    EXPECT_EQ(LANSCOUT_Initial(nullptr, nullptr, 32), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_ERR_NOT_INITIALISED);
    // Quit forgets the callback: a start after it needs a new registration.
    ASSERT_EQ(LANSCOUT_Initial(Ignore, nullptr, 32), LANSCOUT_OK);
    EXPECT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);
    EXPECT_EQ(LANSCOUT_StartAuto(1), LANSCOUT_ERR_NOT_INITIALISED);
    EXPECT_EQ(LANSCOUT_Quit(), LANSCOUT_OK);
}

TEST(LanscoutCalls, InterfaceNamesAreChecked) {
#ifdef _WIN32
    // Windows names adapters by GUID texts and friendly names with spaces.
    const char* good[] = {"{4D36E972-E325-11CE-BFC1-08002BE10318}", "Ethernet 2"};
    const char* bad[] = {"Ethernet 2", "a\tb"};
    const std::string longName(256, 'a');
#else
    const char* good[] = {"lo", "eth0"};
    const char* bad[] = {"lo", "a/b"};
    const std::string longName = "abcdefghijklmnop";
#endif
    const char* tooLong[] = {longName.c_str()};
    const char* empty[] = {""};
    const char* null[] = {nullptr};
    EXPECT_EQ(LANSCOUT_SetInterfaces(good, 2), LANSCOUT_OK);
    EXPECT_EQ(LANSCOUT_SetInterfaces(bad, 2), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(LANSCOUT_SetInterfaces(tooLong, 1), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(LANSCOUT_SetInterfaces(empty, 1), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(LANSCOUT_SetInterfaces(null, 1), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(LANSCOUT_SetInterfaces(good, -1), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(LANSCOUT_SetInterfaces(nullptr, 0), LANSCOUT_OK);  // back to every interface
}

TEST(ResponderIdentities, JoinChecksWhatTheProtocolCanCarry) {
    lanscout::Responder responder;
    EXPECT_EQ(responder.Join("00:11:22:33:44:55", "<multicastSearchResult/>"), LANSCOUT_OK);
    EXPECT_EQ(responder.Join(std::string(19, 'A'), "<a/>"), LANSCOUT_OK);
    EXPECT_EQ(responder.Join(std::string(20, 'A'), "<a/>"), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(responder.Join("", "<a/>"), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(responder.Join("AA", ""), LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(responder.Join("AA", std::string(lanscout::kMaxAnswerText + 1, 'x')),
              LANSCOUT_ERR_BAD_ARGUMENT);
    EXPECT_EQ(responder.Join("AA", std::string(lanscout::kMaxAnswerText, 'x')), LANSCOUT_OK);
    EXPECT_TRUE(responder.Leave("AA"));
    EXPECT_FALSE(responder.Leave("AA"));
    EXPECT_FALSE(responder.Leave("never"));
}

TEST(ResponderIdentities, TableLimitHoldsAndReplacingDoesNotCount) {
    lanscout::ResponderOptions options;
    options.maxIdentities = 2;
    lanscout::Responder responder(options);
    EXPECT_EQ(responder.Join("A", "<1/>"), LANSCOUT_OK);
    EXPECT_EQ(responder.Join("B", "<1/>"), LANSCOUT_OK);
    EXPECT_EQ(responder.Join("C", "<1/>"), LANSCOUT_ERR_FULL);
    EXPECT_EQ(responder.Join("A", "<2/>"), LANSCOUT_OK);
    EXPECT_TRUE(responder.Leave("B"));
    EXPECT_EQ(responder.Join("C", "<1/>"), LANSCOUT_OK);
}

}  // namespace
