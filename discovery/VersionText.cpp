#include "discovery/VersionText.h"

#include <cstdio>

#include "discovery/SearchAnswer.h"

namespace discovery {
namespace {

// Replaces every occurrence, left to right, without looking at what was
// put in.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t at = text.find(from, pos);
        if (at == std::string::npos) {
            out.append(text, pos, std::string::npos);
            return out;
        }
        out.append(text, pos, at - pos);
        out += to;
        pos = at + from.size();
    }
}

// The composed "3.4.2.N" text has room for 15 characters.
constexpr size_t kComposedMax = 15;

}  // namespace

std::string FormatVersionText(const char* softwareVer, int32_t build, const char* secondMask) {
    std::string text = softwareVer != nullptr ? softwareVer : "";
    if (build != -1) {
        const std::string b = "(" + std::to_string(build) + ")";
        if (text.find("beta") == std::string::npos) {
            text += b;
        } else {
            text = ReplaceAll(text, "beta", b + "beta");
        }
    }
    if (text.rfind("3.4.2", 0) == 0) {
        const std::string mask = secondMask != nullptr ? secondMask : "";
        const size_t dot = mask.find('.');
        const std::string head = dot == std::string::npos ? std::string() : mask.substr(0, dot);
        const int32_t n = LeadingInt(head.c_str());
        if (n != 0 && n != 255) {
            char composed[32];
            const int len = std::snprintf(composed, sizeof composed, "3.4.2.%d", n);
            // A number too long for the composed text leaves the version as it is.
            if (len > 0 && static_cast<size_t>(len) <= kComposedMax) {
                text = ReplaceAll(text, "3.4.2", composed);
            }
        }
    }
    return text;
}

std::string SoftwareVersionText(uint32_t version) {
    char text[20];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", version >> 24, (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                  version & 0xFF);
    return text;
}

}  // namespace discovery
