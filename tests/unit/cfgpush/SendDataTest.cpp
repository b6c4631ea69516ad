// Payloads byte for byte: the expected bytes are laid out here field by
// field from the script's packages and their clear input files.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "FacTestSupport.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cfgpush/engine/SendData.h"

namespace {

using fac_test::Append;
using fac_test::Bytes;
using fac_test::Le32;
using fac_test::Name16;
using Bytes_t = std::vector<uint8_t>;

struct Loaded {
    cfgpush::FacPackage package;
    cfgpush::FactoryItemLists lists;
};

void LoadWithItems(const char* name, const char* productType, Loaded& loaded) {
    ASSERT_EQ(loaded.package.Load(fac_test::DataPath(name)), cfgpush::FacLoadResult::kLoaded);
    const auto entry = loaded.package.FindProductByName(productType);
    ASSERT_TRUE(entry.has_value());
    ASSERT_TRUE(cfgpush::BuildItemLists(loaded.package, *entry, loaded.lists));
}

Bytes_t Payload(bool version4, const Loaded& loaded) {
    Bytes_t payload{1, 2, 3};  // a stale buffer must not survive
    EXPECT_TRUE(cfgpush::GetSendData(version4, loaded.lists, loaded.package, payload));
    return payload;
}

Bytes_t Picture(const std::string& file) {
    return fac_test::ReadDataFile("inputs/pictures/" + file);
}

Bytes_t WithZero(Bytes_t bytes) {
    bytes.push_back(0);
    return bytes;
}

// A version-4 payload from its parts: the text, then (name, bytes) sections.
Bytes_t Version4(const std::string& text,
                 const std::vector<std::pair<std::string, Bytes_t>>& sections) {
    Bytes_t body;
    Append(body, Name16("facConfig"));
    Append(body, Le32(static_cast<uint32_t>(text.size())));
    Append(body, Bytes(text));
    for (const auto& [name, data] : sections) {
        Append(body, Name16(name));
        Append(body, Le32(static_cast<uint32_t>(data.size())));
        Append(body, data);
    }
    Bytes_t payload = Le32(static_cast<uint32_t>(body.size() + 4));
    Append(payload, body);
    return payload;
}

Bytes_t Record(const std::string& key, const std::string& value) {
    Bytes_t record = Bytes(key);
    record.resize(32, 0);
    Bytes_t v = Bytes(value);
    v.resize(32, 0);
    Append(record, v);
    return record;
}

constexpr char kSmallText[] = "[IPCamera-Config-File]\r\na=1\r\nb=2\r\nd=4\r\n";

TEST(GetSendData, Version4WithoutPictures) {
    Loaded loaded;
    LoadWithItems("small.fac", "IPC-B", loaded);
    const std::string text = "[IPCamera-Config-File]\r\na=1\r\nb=2\r\nc=3\r\n";
    const Bytes_t payload = Payload(true, loaded);
    EXPECT_EQ(payload, Version4(text, {}));
    EXPECT_EQ(payload.size(), 24 + text.size());
    EXPECT_EQ(payload.size(), 63u);
}

TEST(GetSendData, Version3WithoutPictures) {
    Loaded loaded;
    LoadWithItems("small.fac", "IPC-B", loaded);
    Bytes_t want = Le32(3);
    Append(want, Record("a", "1"));
    Append(want, Record("b", "2"));
    Append(want, Record("c", "3"));
    const Bytes_t payload = Payload(false, loaded);
    EXPECT_EQ(payload, want);
    EXPECT_EQ(payload.size(), 4u + 64 * 3);
}

// Login logo and wallpaper only: the wallpaper carries one extra zero
// byte; version 3 sends only the login logo, its 21-byte entry name cut to
// 15 bytes.
TEST(GetSendData, LoginLogoAndWallpaper) {
    Loaded loaded;
    LoadWithItems("login_wallpaper.fac", "IPC-A", loaded);
    const Bytes_t login = Picture("company_icon_2024.jpg");
    const Bytes_t wallpaper = Picture("wallpaper.png");
    EXPECT_EQ(Payload(true, loaded),
              Version4(kSmallText, {{"loginLogo", login}, {"wallpaper", WithZero(wallpaper)}}));

    Bytes_t want = Le32(3);
    Append(want, Record("a", "1"));
    Append(want, Record("b", "2"));
    Append(want, Record("d", "4"));
    Append(want, Name16("company_icon_20"));
    Append(want, Le32(static_cast<uint32_t>(login.size())));
    Append(want, login);
    EXPECT_EQ(Payload(false, loaded), want);
}

// All five kinds: sections in the order login, title, tablet, start,
// wallpaper whatever the file's order; the last three with a zero byte.
TEST(GetSendData, AllFiveKindsInSectionOrder) {
    Loaded loaded;
    LoadWithItems("full.fac", "IPC-A", loaded);
    const Bytes_t payload = Payload(true, loaded);

    std::string text = "[IPCamera-Config-File]\r\n";
    for (const auto& unit : loaded.lists.m_V4cfgItemList) {
        text += std::string(cfgpush::FieldText(unit.line)) + "\r\n";
    }
    // The 48-byte line went out as an empty line.
    EXPECT_NE(text.find("\r\nline_of_47_bytes_key=" + std::string(26, 'v') + "\r\n\r\nval31="),
              std::string::npos);
    EXPECT_EQ(payload, Version4(text, {{"loginLogo", Picture("icon.jpg")},
                                       {"titleLogo", Picture("title_icon.png")},
                                       {"TabletLogo", WithZero(Picture("TabletLogo.png"))},
                                       {"start", WithZero(Picture("starticon.png"))},
                                       {"wallpaper", WithZero(Picture("wallpaper.jpg"))}}));

    // Version 3: the records, then the login logo and the title logo only.
    const Bytes_t v3 = Payload(false, loaded);
    const size_t k = loaded.lists.m_itemList.size();
    ASSERT_EQ(k, 15u);
    Bytes_t tail;
    Append(tail, Name16("icon.jpg"));
    Append(tail, Le32(106));
    Append(tail, Picture("icon.jpg"));
    Append(tail, Name16("title_icon.png"));
    Append(tail, Le32(static_cast<uint32_t>(Picture("title_icon.png").size())));
    Append(tail, Picture("title_icon.png"));
    ASSERT_EQ(v3.size(), 4 + 64 * k + tail.size());
    EXPECT_EQ(Bytes_t(v3.begin(), v3.begin() + 4), Le32(15));
    EXPECT_EQ(Bytes_t(v3.end() - static_cast<long>(tail.size()), v3.end()), tail);
    // The 32-byte key went out as an empty key with its value.
    EXPECT_EQ(Bytes_t(v3.begin() + 4 + 64 * 8, v3.begin() + 4 + 64 * 9), Record("", "lost key"));
}

// Pictures that do not decipher: no login-logo section; the wallpaper is
// only its extra zero byte.
TEST(GetSendData, PicturesThatDoNotDecipher) {
    Loaded loaded;
    LoadWithItems("garbled_pictures.fac", "IPC-A", loaded);
    const Bytes_t title = Picture("title_icon.png");
    EXPECT_EQ(Payload(true, loaded),
              Version4(kSmallText, {{"titleLogo", title}, {"wallpaper", Bytes_t{0}}}));

    Bytes_t want = Le32(3);
    Append(want, Record("a", "1"));
    Append(want, Record("b", "2"));
    Append(want, Record("d", "4"));
    Append(want, Name16("title_icon.png"));
    Append(want, Le32(static_cast<uint32_t>(title.size())));
    Append(want, title);
    EXPECT_EQ(Payload(false, loaded), want);
}

// Pictures present but of no known kind: nothing after the items.
TEST(GetSendData, PicturesOfNoKnownKind) {
    Loaded loaded;
    LoadWithItems("unknown_picture.fac", "IPC-A", loaded);
    EXPECT_EQ(Payload(true, loaded), Version4(kSmallText, {}));
    EXPECT_EQ(Payload(false, loaded).size(), 4u + 64 * 3);
}

TEST(GetSendData, EmptyItemListsStillCarryTheHeader) {
    cfgpush::FacPackage package;
    cfgpush::FactoryItemLists lists;
    Bytes_t payload;
    ASSERT_TRUE(cfgpush::GetSendData(true, lists, package, payload));
    EXPECT_EQ(payload, Version4("[IPCamera-Config-File]\r\n", {}));
    ASSERT_TRUE(cfgpush::GetSendData(false, lists, package, payload));
    EXPECT_EQ(payload, Le32(0));
}

TEST(GetSendData, DiagnosticLines) {
    Loaded loaded;
    LoadWithItems("small.fac", "IPC-B", loaded);
    fac_test::DiagCapture diag;
    Bytes_t payload;
    ASSERT_TRUE(cfgpush::GetSendData(true, loaded.lists, loaded.package, payload));
    const std::vector<std::string> texts = diag.Texts();
    const std::string dashes = "---------------------------------";
    const std::vector<std::string> want = {"CCfgpushDlg::GetSendData Start" + dashes,
                                           "[IPCamera-Config-File]" + dashes,
                                           "m_V4cfgItemList.GetNext(postion);" + dashes,
                                           "m_V4cfgItemList.GetNext(postion);" + dashes,
                                           "m_V4cfgItemList.GetNext(postion);" + dashes,
                                           "memset(pData, 0, nLen);" + dashes,
                                           "memcpy(pData + index,pTemp,ulConfig);" + dashes};
    EXPECT_EQ(texts, want);
}

// A loaded package is only read: jobs for many devices may be built from it
// on several threads at once.
TEST(GetSendData, SharedPackageOnSeveralThreads) {
    Loaded loaded;
    LoadWithItems("full.fac", "IPC-B", loaded);
    const Bytes_t v4 = Payload(true, loaded);
    const Bytes_t v3 = Payload(false, loaded);
    const Loaded& shared = loaded;
    std::vector<Bytes_t> results(8);
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < results.size(); ++i) {
            threads.emplace_back([&shared, &results, i] {
                cfgpush::GetSendData(i % 2 == 0, shared.lists, shared.package, results[i]);
            });
        }
    }
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i], i % 2 == 0 ? v4 : v3) << i;
    }
}

}  // namespace
