#include "common/platform/Language.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cctype>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

struct LocaleId {
    const char* language;   // lower case
    const char* territory;  // upper case; "" for the language's main id
    uint16_t id;
};

// The usual Windows ids; a language's "" row is its main id.
constexpr LocaleId kLocaleIds[] = {
    {"ar", "", 1025},    {"ar", "SA", 1025},  {"ar", "EG", 3073},  {"ar", "AE", 14337},
    {"be", "", 1059},    {"bg", "", 1026},    {"ca", "", 1027},    {"cs", "", 1029},
    {"da", "", 1030},    {"de", "", 1031},    {"de", "DE", 1031},  {"de", "CH", 2055},
    {"de", "AT", 3079},  {"de", "LU", 4103},  {"el", "", 1032},    {"en", "", 1033},
    {"en", "US", 1033},  {"en", "GB", 2057},  {"en", "AU", 3081},  {"en", "CA", 4105},
    {"en", "NZ", 5129},  {"en", "IE", 6153},  {"en", "ZA", 7177},  {"en", "IN", 16393},
    {"en", "SG", 18441}, {"es", "", 3082},    {"es", "ES", 3082},  {"es", "MX", 2058},
    {"es", "CO", 9226},  {"es", "AR", 11274}, {"es", "CL", 13322}, {"et", "", 1061},
    {"fa", "", 1065},    {"fi", "", 1035},    {"fr", "", 1036},    {"fr", "FR", 1036},
    {"fr", "BE", 2060},  {"fr", "CA", 3084},  {"fr", "CH", 4108},  {"fr", "LU", 5132},
    {"he", "", 1037},    {"hi", "", 1081},    {"hr", "", 1050},    {"hu", "", 1038},
    {"id", "", 1057},    {"is", "", 1039},    {"it", "", 1040},    {"it", "IT", 1040},
    {"it", "CH", 2064},  {"ja", "", 1041},    {"ko", "", 1042},    {"lt", "", 1063},
    {"lv", "", 1062},    {"ms", "", 1086},    {"nb", "", 1044},    {"nl", "", 1043},
    {"nl", "NL", 1043},  {"nl", "BE", 2067},  {"nn", "", 2068},    {"no", "", 1044},
    {"pl", "", 1045},    {"pt", "", 1046},    {"pt", "BR", 1046},  {"pt", "PT", 2070},
    {"ro", "", 1048},    {"ru", "", 1049},    {"sk", "", 1051},    {"sl", "", 1060},
    {"sq", "", 1052},    {"sv", "", 1053},    {"sv", "SE", 1053},  {"sv", "FI", 2077},
    {"th", "", 1054},    {"tr", "", 1055},    {"uk", "", 1058},    {"ur", "", 1056},
    {"vi", "", 1066},    {"zh", "", 2052},    {"zh", "CN", 2052},  {"zh", "TW", 1028},
    {"zh", "HK", 3076},  {"zh", "SG", 4100},  {"zh", "MO", 5124},
};

std::string Folded(std::string_view text, bool upper) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
    }
    return out;
}

const char* NonEmpty(const char* value) {
    return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

uint16_t LanguageIdFromLocaleName(std::string_view localeName) {
    // language[_territory][.codeset][@modifier]; "-" is taken like "_".
    const size_t end = localeName.find_first_of(".@");
    const std::string_view base = localeName.substr(0, end);
    const size_t split = base.find_first_of("_-");
    const std::string language = Folded(base.substr(0, split), false);
    const std::string territory =
        split == std::string_view::npos ? std::string() : Folded(base.substr(split + 1), true);

    uint16_t mainId = 0;
    for (const LocaleId& entry : kLocaleIds) {
        if (language != entry.language) {
            continue;
        }
        if (territory == entry.territory) {
            return entry.id;
        }
        if (*entry.territory == '\0') {
            mainId = entry.id;
        }
    }
    return mainId != 0 ? mainId : kLangEnglishUs;
}

uint16_t SystemDefaultLanguageId(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* name = NonEmpty(lcAll);
    if (name == nullptr) {
        name = NonEmpty(lcMessages);
    }
    if (name == nullptr) {
        name = NonEmpty(lang);
    }
    return LanguageIdFromLocaleName(name != nullptr ? name : "");
}

uint16_t SystemDefaultLanguageId() {
#ifdef _WIN32
    // The user's interface language, as the Windows programs choose theirs.
    return static_cast<uint16_t>(::GetUserDefaultUILanguage());
#else
    return SystemDefaultLanguageId(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                   std::getenv("LANG"));
#endif
}

uint16_t CfgpushInterfaceLanguage(uint16_t systemDefaultLanguageId) {
    switch (systemDefaultLanguageId) {
        case kLangChineseTaiwan:
        case kLangChinesePrc:
        case kLangChineseHongKong:
            return kLangChinesePrc;
        default:
            return kLangEnglishUk;
    }
}

uint16_t FwbatchInterfaceLanguage(uint16_t systemDefaultLanguageId) {
    switch (systemDefaultLanguageId) {
        case kLangChineseTaiwan:
        case kLangChinesePrc:
            return systemDefaultLanguageId;
        case kLangChineseHongKong:
            return kLangChineseTaiwan;
        default:
            return kLangEnglishUk;
    }
}

}  // namespace platform
