// The system default language from the locale, and Cfgpush's choice of
// string table from it.

#include <gtest/gtest.h>

#include "common/platform/Language.h"

namespace {

using platform::LanguageIdFromLocaleName;

TEST(Language, ChineseLocales) {
    EXPECT_EQ(LanguageIdFromLocaleName("zh_CN"), 2052);
    EXPECT_EQ(LanguageIdFromLocaleName("zh_CN.UTF-8"), 2052);
    EXPECT_EQ(LanguageIdFromLocaleName("zh_CN.GB18030"), 2052);
    EXPECT_EQ(LanguageIdFromLocaleName("zh_TW.Big5"), 1028);
    EXPECT_EQ(LanguageIdFromLocaleName("zh_HK.UTF-8"), 3076);
    EXPECT_EQ(LanguageIdFromLocaleName("zh_SG.UTF-8"), 4100);
    EXPECT_EQ(LanguageIdFromLocaleName("zh_MO"), 5124);
    EXPECT_EQ(LanguageIdFromLocaleName("zh-TW"), 1028);
    EXPECT_EQ(LanguageIdFromLocaleName("ZH_tw.utf8"), 1028);
    EXPECT_EQ(LanguageIdFromLocaleName("zh"), 2052);
}

TEST(Language, OtherLocales) {
    EXPECT_EQ(LanguageIdFromLocaleName("en_US.UTF-8"), 1033);
    EXPECT_EQ(LanguageIdFromLocaleName("en_GB.UTF-8"), 2057);
    EXPECT_EQ(LanguageIdFromLocaleName("en_AU"), 3081);
    EXPECT_EQ(LanguageIdFromLocaleName("de_DE.UTF-8"), 1031);
    EXPECT_EQ(LanguageIdFromLocaleName("de_DE@euro"), 1031);
    EXPECT_EQ(LanguageIdFromLocaleName("de_AT"), 3079);
    EXPECT_EQ(LanguageIdFromLocaleName("fr_CA.UTF-8"), 3084);
    EXPECT_EQ(LanguageIdFromLocaleName("ja_JP.eucJP"), 1041);
    EXPECT_EQ(LanguageIdFromLocaleName("ko_KR"), 1042);
    EXPECT_EQ(LanguageIdFromLocaleName("pt_BR"), 1046);
    EXPECT_EQ(LanguageIdFromLocaleName("pt_PT"), 2070);
    EXPECT_EQ(LanguageIdFromLocaleName("ru_RU.KOI8-R"), 1049);
    // Unknown territory: the language's main id.
    EXPECT_EQ(LanguageIdFromLocaleName("de_BE"), 1031);
    EXPECT_EQ(LanguageIdFromLocaleName("en_ZZ.UTF-8"), 1033);
    // Unset, C, POSIX and unknown languages: English (United States).
    EXPECT_EQ(LanguageIdFromLocaleName(""), 1033);
    EXPECT_EQ(LanguageIdFromLocaleName("C"), 1033);
    EXPECT_EQ(LanguageIdFromLocaleName("C.UTF-8"), 1033);
    EXPECT_EQ(LanguageIdFromLocaleName("POSIX"), 1033);
    EXPECT_EQ(LanguageIdFromLocaleName("xx_YY"), 1033);
}

TEST(Language, VariablesInOrder) {
    using platform::SystemDefaultLanguageId;
    EXPECT_EQ(SystemDefaultLanguageId("zh_CN.UTF-8", "de_DE", "fr_FR"), 2052);
    EXPECT_EQ(SystemDefaultLanguageId(nullptr, "de_DE", "zh_CN"), 1031);
    EXPECT_EQ(SystemDefaultLanguageId("", "", "zh_HK.UTF-8"), 3076);  // empty counts as unset
    EXPECT_EQ(SystemDefaultLanguageId(nullptr, nullptr, nullptr), 1033);
    EXPECT_EQ(SystemDefaultLanguageId("C", nullptr, "zh_CN.UTF-8"), 1033);  // C set wins
}

#ifndef _WIN32
// Windows asks the system (GetUserDefaultUILanguage), not the environment.
TEST(Language, FromTheEnvironment) {
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(platform::SystemDefaultLanguageId(), 1028);
    unsetenv("LC_MESSAGES");
    EXPECT_EQ(platform::SystemDefaultLanguageId(), 1033);
    unsetenv("LC_ALL");
    unsetenv("LANG");
}
#endif

TEST(Language, CfgpushChoice) {
    using platform::CfgpushInterfaceLanguage;
    EXPECT_EQ(CfgpushInterfaceLanguage(1028), 2052);
    EXPECT_EQ(CfgpushInterfaceLanguage(2052), 2052);
    EXPECT_EQ(CfgpushInterfaceLanguage(3076), 2052);
    // Other Chinese ids are not included.
    EXPECT_EQ(CfgpushInterfaceLanguage(4100), 2057);
    EXPECT_EQ(CfgpushInterfaceLanguage(5124), 2057);
    EXPECT_EQ(CfgpushInterfaceLanguage(1033), 2057);
    EXPECT_EQ(CfgpushInterfaceLanguage(1031), 2057);
    EXPECT_EQ(CfgpushInterfaceLanguage(2057), 2057);
    EXPECT_EQ(CfgpushInterfaceLanguage(0), 2057);
}

}  // namespace
