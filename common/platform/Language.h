#pragma once
// The system default language id of the programs (on Linux taken from the
// locale the program runs in), and the interface-language choices made
// from it.

#include <cstdint>
#include <string_view>

namespace platform {

// Windows language ids the programs care about by name.
constexpr uint16_t kLangEnglishUs = 1033;
constexpr uint16_t kLangEnglishUk = 2057;
constexpr uint16_t kLangChineseTaiwan = 1028;
constexpr uint16_t kLangChinesePrc = 2052;
constexpr uint16_t kLangChineseHongKong = 3076;

// The Windows language id of a locale name such as "zh_CN.UTF-8",
// "de_DE@euro", "en-GB" or "fr". The codeset and modifier are ignored, a
// language without (or with an unknown) territory gives that language's
// main id, and "C", "POSIX", an empty name or an unknown language give
// English (United States), as Windows reports for an unset locale.
uint16_t LanguageIdFromLocaleName(std::string_view localeName);

// The system default language id from the locale variables, in the order
// the C library reads them for messages: the first non-empty of LC_ALL,
// LC_MESSAGES and LANG (null counts as unset).
uint16_t SystemDefaultLanguageId(const char* lcAll, const char* lcMessages, const char* lang);

// The system default language id: on Linux the same from this process's
// environment; on Windows the user's interface language
// (GetUserDefaultUILanguage).
uint16_t SystemDefaultLanguageId();

// Cfgpush's choice: Chinese of Taiwan, of the PRC or of Hong Kong use the
// Simplified Chinese table (2052); every other language the English one
// (2057).
uint16_t CfgpushInterfaceLanguage(uint16_t systemDefaultLanguageId);

// Fwbatch's choice: Chinese of Taiwan and of the PRC keep their own tables
// (1028, 2052), Chinese of Hong Kong uses Taiwan's (1028); every other
// language the English one (2057).
uint16_t FwbatchInterfaceLanguage(uint16_t systemDefaultLanguageId);

}  // namespace platform
