// Picture kinds by entry name and the bytes a push sends of each kind.

#include <gtest/gtest.h>

#include <optional>

#include "FacTestSupport.h"
#include "cfgpush/engine/CustomerPictures.h"
#include "cfgpush/engine/FacPackage.h"

namespace {

using cfgpush::PictureKind;
using cfgpush::PictureKindOfName;

TEST(PictureKind, ByNameRules) {
    EXPECT_EQ(PictureKindOfName("title_icon.png"), PictureKind::kTitleLogo);
    EXPECT_EQ(PictureKindOfName("icon.jpg"), PictureKind::kLoginLogo);
    EXPECT_EQ(PictureKindOfName("TabletLogo.png"), PictureKind::kTabletLogo);
    EXPECT_EQ(PictureKindOfName("starticon.png"), PictureKind::kStart);
    EXPECT_EQ(PictureKindOfName("start.jpg"), PictureKind::kStart);
    EXPECT_EQ(PictureKindOfName("wallpaper.png"), PictureKind::kWallpaper);
    // "title" alone is no reason to recognise an entry.
    EXPECT_EQ(PictureKindOfName("title.jpg"), std::nullopt);
    EXPECT_EQ(PictureKindOfName("logo.png"), std::nullopt);
    EXPECT_EQ(PictureKindOfName(""), std::nullopt);
    // The tests are case-sensitive.
    EXPECT_EQ(PictureKindOfName("ICON.JPG"), std::nullopt);
    EXPECT_EQ(PictureKindOfName("tabletlogo.png"), std::nullopt);
    EXPECT_EQ(PictureKindOfName("Wallpaper.png"), std::nullopt);
    // The first kind whose test passes wins.
    EXPECT_EQ(PictureKindOfName("wallpaper_title.png"), PictureKind::kTitleLogo);
    EXPECT_EQ(PictureKindOfName("TabletLogo_start.png"), PictureKind::kTabletLogo);
    EXPECT_EQ(PictureKindOfName("start_wallpaper.png"), PictureKind::kStart);
    EXPECT_EQ(PictureKindOfName("wallpaper_icon.png"), PictureKind::kWallpaper);
    EXPECT_EQ(PictureKindOfName("icon_title"), PictureKind::kTitleLogo);
}

TEST(PictureKind, SectionNamesAndExtraZero) {
    EXPECT_EQ(cfgpush::PictureSectionName(PictureKind::kLoginLogo), "loginLogo");
    EXPECT_EQ(cfgpush::PictureSectionName(PictureKind::kTitleLogo), "titleLogo");
    EXPECT_EQ(cfgpush::PictureSectionName(PictureKind::kTabletLogo), "TabletLogo");
    EXPECT_EQ(cfgpush::PictureSectionName(PictureKind::kStart), "start");
    EXPECT_EQ(cfgpush::PictureSectionName(PictureKind::kWallpaper), "wallpaper");
    EXPECT_FALSE(cfgpush::PictureHasExtraZero(PictureKind::kLoginLogo));
    EXPECT_FALSE(cfgpush::PictureHasExtraZero(PictureKind::kTitleLogo));
    EXPECT_TRUE(cfgpush::PictureHasExtraZero(PictureKind::kTabletLogo));
    EXPECT_TRUE(cfgpush::PictureHasExtraZero(PictureKind::kStart));
    EXPECT_TRUE(cfgpush::PictureHasExtraZero(PictureKind::kWallpaper));
}

TEST(PictureBytes, ImageFileAndExtraZero) {
    cfgpush::FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), cfgpush::FacLoadResult::kLoaded);
    auto picture = [](const char* file) {
        return fac_test::ReadDataFile(std::string("inputs/pictures/") + file);
    };
    EXPECT_EQ(cfgpush::PictureBytes(package, PictureKind::kLoginLogo), picture("icon.jpg"));
    EXPECT_EQ(cfgpush::PictureBytes(package, PictureKind::kTitleLogo), picture("title_icon.png"));
    auto withZero = [&](const char* file) {
        auto bytes = picture(file);
        bytes.push_back(0);
        return bytes;
    };
    EXPECT_EQ(cfgpush::PictureBytes(package, PictureKind::kTabletLogo), withZero("TabletLogo.png"));
    EXPECT_EQ(cfgpush::PictureBytes(package, PictureKind::kStart), withZero("starticon.png"));
    EXPECT_EQ(cfgpush::PictureBytes(package, PictureKind::kWallpaper), withZero("wallpaper.jpg"));
}

TEST(PictureBytes, EmptySlotsAndBlocksThatDoNotDecipher) {
    cfgpush::FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("garbled_pictures.fac")),
              cfgpush::FacLoadResult::kLoaded);
    EXPECT_TRUE(cfgpush::PictureBytes(package, PictureKind::kLoginLogo).empty());
    EXPECT_EQ(cfgpush::PictureBytes(package, PictureKind::kWallpaper), std::vector<uint8_t>{0});
    // No tablet logo at all: nothing, not even the extra zero byte.
    EXPECT_TRUE(cfgpush::PictureBytes(package, PictureKind::kTabletLogo).empty());
}

}  // namespace
