// The Windows-only parts of the platform: IP Helper's results as the
// network platform's codes, UTF-8 to and from Windows' wide texts, and the
// adapter list Windows gives (under Wine: the host's interfaces).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/platform/WinNetworkPlatform.h"
#include "common/platform/WinText.h"

namespace {

TEST(WinNetwork, IpHelperResultsAsNetResults) {
    const struct {
        unsigned long windows;
        int expected;
    } cases[] = {
        {NO_ERROR, platform::kNetOk},
        {ERROR_OBJECT_ALREADY_EXISTS, platform::kNetAlreadyExists},
        {ERROR_ACCESS_DENIED, platform::kNetPermissionDenied},
        {ERROR_INVALID_PARAMETER, platform::kNetInvalidArgument},
        {ERROR_NOT_FOUND, platform::kNetNoSuchAdapter},
        {ERROR_NOT_ENOUGH_MEMORY, platform::kNetOutOfMemory},
        {ERROR_NOT_SUPPORTED, platform::kNetSystemError},  // Wine's AddIPAddress and SendARP
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::NetResultFromWindowsError(c.windows), c.expected) << c.windows;
    }
}

TEST(WinText, Utf8AndWideRoundTrip) {
    const std::string texts[] = {"", "camprep.exe", "配置包-é.fac", "\xF0\x9F\x93\xB7"};
    for (const std::string& text : texts) {
        EXPECT_EQ(platform::WideToUtf8(platform::Utf8ToWide(text)), text);
    }
    EXPECT_EQ(platform::Utf8ToWide("配置"), std::wstring(L"\u914D\u7F6E"));
}

// Wine hands on the host's interfaces; every entry must be well formed,
// loopback must be among them and never count as a live network.
TEST(WinNetwork, AdapterListIsWellFormed) {
    platform::WinNetworkPlatform net;
    std::vector<platform::AdapterInfo> adapters;
    ASSERT_EQ(net.GetAdapters(adapters), platform::kNetOk);
    bool loopback = false;
    for (const platform::AdapterInfo& adapter : adapters) {
        EXPECT_TRUE(platform::IsValidInterfaceName(adapter.name)) << adapter.name;
        EXPECT_NE(adapter.index, 0u) << adapter.name;
        for (const platform::AdapterAddress& a : adapter.addresses) {
            EXPECT_GE(platform::MaskToPrefixLength(a.mask), 0) << adapter.name;
        }
        loopback = loopback || adapter.loopback;
    }
    EXPECT_TRUE(loopback);
    bool othersRun = false;
    for (const platform::AdapterInfo& adapter : adapters) {
        othersRun = othersRun || (!adapter.loopback && adapter.running);
    }
    EXPECT_EQ(net.IsNetworkAlive(), othersRun);
}

}  // namespace
