// Loading packages made by tests/data/fac/make_packages.py (an independent
// writer using the openssl command line): what each holds comes from the
// script's packages.json, not from the loader.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "FacTestSupport.h"
#include "cfgpush/engine/CustomerPictures.h"
#include "cfgpush/engine/FacPackage.h"

namespace {

using cfgpush::FacLoadResult;
using cfgpush::FacPackage;
using cfgpush::PictureKind;
using nlohmann::json;

const PictureKind kAllKinds[] = {PictureKind::kLoginLogo, PictureKind::kTitleLogo,
                                 PictureKind::kTabletLogo, PictureKind::kStart,
                                 PictureKind::kWallpaper};

void ExpectEmpty(const FacPackage& package) {
    EXPECT_FALSE(package.IsLoaded());
    EXPECT_TRUE(package.FileBytes().empty());
    EXPECT_EQ(package.CustomerCode(), "");
    EXPECT_EQ(package.Customer().length, 0);
    EXPECT_EQ(package.PicturesPresent(), 0);
    EXPECT_TRUE(package.ProductTypes().empty());
    for (const PictureKind kind : kAllKinds) {
        EXPECT_EQ(package.PictureSlot(kind).length, 0);
        EXPECT_EQ(cfgpush::BlockName(package.PictureSlot(kind)), "");
    }
}

// Everything the script says the package holds.
void ExpectAsIntended(const FacPackage& package, const json& expect) {
    ASSERT_TRUE(package.IsLoaded());
    EXPECT_EQ(package.CustomerCode(), expect["customer_code"].get<std::string>());
    EXPECT_EQ(package.Customer().offset, expect["common"]["offset"].get<int>());
    EXPECT_EQ(package.Customer().length, expect["common"]["length"].get<int>());
    EXPECT_EQ(package.PicturesPresent(), expect["pictures_present"].get<int>());

    for (const PictureKind kind : kAllKinds) {
        const std::string label(cfgpush::PictureKindLabel(kind));
        SCOPED_TRACE(label);
        const cfgpush::FAC_BLOCK_INFO& slot = package.PictureSlot(kind);
        if (!expect["pictures"].contains(label)) {
            EXPECT_EQ(slot.length, 0);
            EXPECT_EQ(slot.offset, 0);
            continue;
        }
        const json& want = expect["pictures"][label];
        EXPECT_EQ(cfgpush::BlockName(slot), want["name"].get<std::string>());
        EXPECT_EQ(slot.offset, want["offset"].get<int>());
        EXPECT_EQ(slot.length, want["length"].get<int>());
    }

    const json& products = expect["products"];
    ASSERT_EQ(package.ProductTypes().size(), products.size());
    for (const json& want : products) {
        const cfgpush::FAC_BLOCK_INFO* block = package.FindProduct(want["entry"].get<int>());
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(cfgpush::BlockName(*block), want["name"].get<std::string>());
        EXPECT_EQ(block->offset, want["offset"].get<int>());
        EXPECT_EQ(block->length, want["length"].get<int>());
    }

    const auto boxOrder = package.ProductTypesInBoxOrder();
    ASSERT_EQ(boxOrder.size(), expect["box_order"].size());
    for (size_t i = 0; i < boxOrder.size(); ++i) {
        EXPECT_EQ(boxOrder[i].name, expect["box_order"][i].get<std::string>());
        const cfgpush::FAC_BLOCK_INFO* block = package.FindProduct(boxOrder[i].entryNumber);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(cfgpush::BlockName(*block), boxOrder[i].name);  // item data ties them
    }
}

TEST(FacPackage, ScriptPackagesLoadAsIntended) {
    int checked = 0;
    for (const auto& [name, expect] : fac_test::Manifest().items()) {
        if (expect["load"] != "loaded") {
            continue;
        }
        SCOPED_TRACE(name);
        FacPackage package;
        int openErrno = -1;
        ASSERT_EQ(package.Load(fac_test::DataPath(name), &openErrno), FacLoadResult::kLoaded);
        EXPECT_EQ(openErrno, 0);
        ExpectAsIntended(package, expect);
        // The buffer holds the whole file, unscrambled, magic kept.
        EXPECT_EQ(package.FileBytes().size(), fac_test::ReadDataFile(name).size());
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

TEST(FacPackage, PicturesAreDecipheredToTheirSourceFiles) {
    for (const char* name : {"full.fac", "login_wallpaper.fac", "long_names.fac"}) {
        SCOPED_TRACE(name);
        const json& expect = fac_test::Manifest()[name];
        FacPackage package;
        ASSERT_EQ(package.Load(fac_test::DataPath(name)), FacLoadResult::kLoaded);
        for (const auto& [label, want] : expect["pictures"].items()) {
            SCOPED_TRACE(label);
            for (const PictureKind kind : kAllKinds) {
                if (cfgpush::PictureKindLabel(kind) == label) {
                    EXPECT_EQ(
                        package.DecipherBlock(package.PictureSlot(kind)),
                        fac_test::ReadDataFile("inputs/" + want["source"].get<std::string>()));
                }
            }
        }
    }
}

// The edge cases of the name rules, as they come out of a real package.
TEST(FacPackage, PictureSlotsByName) {
    FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), FacLoadResult::kLoaded);
    // icon_old.jpg came first and was replaced by the later icon.jpg.
    EXPECT_EQ(cfgpush::BlockName(package.PictureSlot(PictureKind::kLoginLogo)), "icon.jpg");
    // starticon.png is the start picture, not the login logo.
    EXPECT_EQ(cfgpush::BlockName(package.PictureSlot(PictureKind::kStart)), "starticon.png");
    EXPECT_EQ(cfgpush::BlockName(package.PictureSlot(PictureKind::kTitleLogo)), "title_icon.png");

    // title.jpg alone: not recognised, yet the package has pictures.
    ASSERT_EQ(package.Load(fac_test::DataPath("unknown_picture.fac")), FacLoadResult::kLoaded);
    EXPECT_EQ(package.PicturesPresent(), 1);
    for (const PictureKind kind : kAllKinds) {
        EXPECT_EQ(package.PictureSlot(kind).length, 0);
    }
}

TEST(FacPackage, ProductTypesSortedLikeTheBoxAndNumberedInFileOrder) {
    FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("small.fac")), FacLoadResult::kLoaded);
    // IPC-B then IPC-A in the file: IPC-A is shown first, tied to entry 1.
    const auto order = package.ProductTypesInBoxOrder();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].name, "IPC-A");
    EXPECT_EQ(order[0].entryNumber, 1);
    EXPECT_EQ(order[1].name, "IPC-B");
    EXPECT_EQ(order[1].entryNumber, 0);
    EXPECT_EQ(package.FindProductByName("IPC-A"), 1);
    EXPECT_EQ(package.FindProductByName("ipc-a"), std::nullopt);
    EXPECT_EQ(package.FindProduct(2), nullptr);

    // An entry with data length 0 is not listed and uses up no number.
    ASSERT_EQ(package.Load(fac_test::DataPath("zero_length_entry.fac")), FacLoadResult::kLoaded);
    ASSERT_EQ(package.ProductTypes().size(), 2u);
    EXPECT_EQ(cfgpush::BlockName(*package.FindProduct(0)), "IPC-Z");
    EXPECT_EQ(cfgpush::BlockName(*package.FindProduct(1)), "IPC-A");
    EXPECT_EQ(package.FindProductByName("EMPTY"), std::nullopt);
}

TEST(FacPackage, LongNamesAreCutTo63Bytes) {
    FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("long_names.fac")), FacLoadResult::kLoaded);
    EXPECT_EQ(package.CustomerCode(), std::string(63, 'C'));
    EXPECT_EQ(package.Customer().name[63], '\0');
    const auto& wallpaper = package.PictureSlot(PictureKind::kWallpaper);
    EXPECT_EQ(cfgpush::BlockName(wallpaper).size(), 63u);
    EXPECT_EQ(cfgpush::BlockName(wallpaper).substr(0, 10), "wallpaper_");
    ASSERT_EQ(package.ProductTypes().size(), 1u);
    EXPECT_EQ(cfgpush::BlockName(*package.FindProduct(0)), std::string(63, 'P'));
}

TEST(FacPackage, BadFormatPackagesLeaveNothingLoaded) {
    int checked = 0;
    for (const auto& [name, expect] : fac_test::Manifest().items()) {
        if (expect["load"] != "bad_format") {
            continue;
        }
        SCOPED_TRACE(name);
        FacPackage package;
        ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), FacLoadResult::kLoaded);
        EXPECT_EQ(package.Load(fac_test::DataPath(name)), FacLoadResult::kBadFormat);
        ExpectEmpty(package);
        ++checked;
    }
    EXPECT_GE(checked, 12);
}

// Cutting a package anywhere must never read past the end: every length
// either loads (exactly at the end of an entry, as the script noted) or is
// refused.
TEST(FacPackage, TruncatedAtEveryLength) {
    for (const char* name : {"full.fac", "small.fac", "zero_length_entry.fac", "long_names.fac"}) {
        SCOPED_TRACE(name);
        const json& expect = fac_test::Manifest()[name];
        const std::vector<uint8_t> whole = fac_test::ReadDataFile(name);
        std::map<size_t, size_t> validCuts;
        for (const json& cut : expect["valid_cuts"]) {
            validCuts[cut["length"].get<size_t>()] = cut["products"].get<size_t>();
        }
        ASSERT_EQ(validCuts.rbegin()->first, whole.size());
        for (size_t length = 0; length <= whole.size(); ++length) {
            // An exact-size heap copy, so that AddressSanitizer sees any read
            // beyond the cut.
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
            cut.shrink_to_fit();
            FacPackage package;
            const FacLoadResult result = package.LoadBytes(std::move(cut));
            const auto valid = validCuts.find(length);
            if (valid == validCuts.end()) {
                ASSERT_EQ(result, FacLoadResult::kBadFormat) << "length " << length;
                ExpectEmpty(package);
            } else {
                ASSERT_EQ(result, FacLoadResult::kLoaded) << "length " << length;
                EXPECT_EQ(package.ProductTypes().size(), valid->second) << "length " << length;
            }
        }
    }
}

TEST(FacPackage, FailedLoadDiscardsThePreviousPackage) {
    FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), FacLoadResult::kLoaded);
    int openErrno = 0;
    EXPECT_EQ(package.Load(fac_test::DataPath("no-such-package.fac"), &openErrno),
              FacLoadResult::kCannotOpen);
    EXPECT_EQ(openErrno, ENOENT);
    ExpectEmpty(package);

    ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), FacLoadResult::kLoaded);
    EXPECT_EQ(package.Load(fac_test::DataPath("inputs")), FacLoadResult::kCannotOpen);
    ExpectEmpty(package);
}

TEST(FacPackage, SecondLoadKeepsNothingOfTheFirst) {
    FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("full.fac")), FacLoadResult::kLoaded);
    ASSERT_GT(package.PictureSlot(PictureKind::kWallpaper).length, 0);
    ASSERT_EQ(package.Load(fac_test::DataPath("small.fac")), FacLoadResult::kLoaded);
    EXPECT_EQ(package.PicturesPresent(), 0);
    for (const PictureKind kind : kAllKinds) {
        EXPECT_EQ(package.PictureSlot(kind).length, 0);
    }
    EXPECT_EQ(package.CustomerCode(), "ACME");
    EXPECT_EQ(package.ProductTypes().size(), 2u);
}

TEST(FacPackage, ReadOnlyPackageLoads) {
    namespace fs = std::filesystem;
    const fs::path path = fs::temp_directory_path() /
                          ("fac-readonly-" + std::to_string(std::random_device{}()) + ".fac");
    const std::vector<uint8_t> bytes = fac_test::ReadDataFile("small.fac");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    FacPackage package;
    EXPECT_EQ(package.Load(path.string()), FacLoadResult::kLoaded);
    EXPECT_EQ(package.CustomerCode(), "ACME");
    // Windows removes no read-only file.
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    fs::remove(path);
}

TEST(FacPackage, BlocksOutsideTheFileDecipherToNothing) {
    FacPackage package;
    ASSERT_EQ(package.Load(fac_test::DataPath("small.fac")), FacLoadResult::kLoaded);
    const int32_t size = static_cast<int32_t>(package.FileBytes().size());
    fac_test::DiagCapture diag;
    EXPECT_TRUE(package.DecipherBlock(0, 0).empty());
    EXPECT_TRUE(package.DecipherBlock(-8, 8).empty());
    EXPECT_TRUE(package.DecipherBlock(size - 8, 16).empty());
    EXPECT_TRUE(package.DecipherBlock(size, 8).empty());
    EXPECT_TRUE(package.DecipherBlock(8, -1).empty());
    EXPECT_TRUE(diag.Texts().empty());  // refused before the cipher runs
    // A block the cipher refuses says so on the diagnostics channel.
    EXPECT_TRUE(package.DecipherBlock(8, 8).empty());
    EXPECT_FALSE(diag.Texts().empty());
}

}  // namespace
