#include "onvif/Scopes.h"

#include <cctype>
#include <charconv>

#include "common/crypto/Digest.h"
#include "common/platform/NetworkPlatform.h"

namespace onvif {
namespace {

constexpr std::string_view kScopePrefix = "onvif://www.onvif.org/";

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

void Keep(std::string& field, std::string_view value) {
    if (field.empty()) {
        field = PercentDecode(value);
    }
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && crypto::HexDigitValue(text[i + 1]) >= 0 &&
            crypto::HexDigitValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(crypto::HexDigitValue(text[i + 1]) * 16 + crypto::HexDigitValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string NormaliseMac(std::string_view text) {
    std::string digits;
    char separator = 0;
    for (char c : text) {
        if (crypto::HexDigitValue(c) >= 0) {
            digits.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        } else if (c == ':' || c == '-' || c == '.') {
            if (separator != 0 && separator != c) {
                return std::string();  // one kind of separator
            }
            separator = c;
        } else {
            return std::string();
        }
    }
    if (digits.size() != 12) {
        return std::string();
    }
    std::string mac;
    for (size_t i = 0; i < 12; i += 2) {
        if (i > 0) {
            mac.push_back(':');
        }
        mac.append(digits, i, 2);
    }
    return mac;
}

ScopeFacts ReadScopes(const std::vector<std::string>& scopes) {
    ScopeFacts facts;
    for (const std::string& scope : scopes) {
        if (scope.size() <= kScopePrefix.size() ||
            !EqualsNoCase(std::string_view(scope).substr(0, kScopePrefix.size()), kScopePrefix)) {
            continue;
        }
        const std::string_view rest = std::string_view(scope).substr(kScopePrefix.size());
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) {
            continue;
        }
        const std::string_view category = rest.substr(0, slash);
        const std::string_view value = rest.substr(slash + 1);
        if (value.empty()) {
            continue;
        }
        if (EqualsNoCase(category, "name")) {
            Keep(facts.name, value);
        } else if (EqualsNoCase(category, "hardware")) {
            Keep(facts.hardware, value);
        } else if (EqualsNoCase(category, "location")) {
            Keep(facts.location, value);
        } else if (EqualsNoCase(category, "serialnumber") || EqualsNoCase(category, "serial")) {
            Keep(facts.serial, value);
        } else if (EqualsNoCase(category, "mac") || EqualsNoCase(category, "macaddress")) {
            if (facts.mac.empty()) {
                facts.mac = NormaliseMac(PercentDecode(value));
            }
        }
    }
    return facts;
}

bool ParseXAddr(std::string_view url, XAddr& out) {
    out = XAddr();
    std::string_view rest;
    if (url.size() > 7 && EqualsNoCase(url.substr(0, 7), "http://")) {
        rest = url.substr(7);
        out.port = 80;
    } else if (url.size() > 8 && EqualsNoCase(url.substr(0, 8), "https://")) {
        rest = url.substr(8);
        out.https = true;
        out.port = 443;
    } else {
        return false;
    }
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (authority.empty() || authority.find('@') != std::string_view::npos) {
        return false;
    }
    std::string_view host = authority;
    std::string_view portText;
    if (authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        host = authority.substr(0, close + 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return false;
            }
            portText = after.substr(1);
        }
    } else if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
    }
    if (authority.back() == ':') {
        return false;
    }
    if (!portText.empty()) {
        unsigned value = 0;
        const auto parsed =
            std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (parsed.ec != std::errc() || parsed.ptr != portText.data() + portText.size() ||
            value == 0 || value > 65535) {
            return false;
        }
        out.port = static_cast<uint16_t>(value);
    }
    if (host.empty()) {
        return false;
    }
    out.url = std::string(url);
    out.host = std::string(host);
    uint32_t address = 0;
    if (platform::ParseIPv4(out.host, address)) {
        out.address = address;
    }
    return true;
}

int PreferredXAddr(const std::vector<XAddr>& xaddrs, uint32_t localAddress, uint32_t localMask) {
    int inSubnet = -1;
    int plain = -1;
    int any = -1;
    for (size_t i = 0; i < xaddrs.size(); ++i) {
        const XAddr& x = xaddrs[i];
        if (x.address == 0) {
            continue;
        }
        const int index = static_cast<int>(i);
        if (any < 0) {
            any = index;
        }
        if (x.https) {
            continue;
        }
        if (plain < 0) {
            plain = index;
        }
        if (inSubnet < 0 && localMask != 0 &&
            (x.address & localMask) == (localAddress & localMask)) {
            inSubnet = index;
        }
    }
    return inSubnet >= 0 ? inSubnet : (plain >= 0 ? plain : any);
}

}  // namespace onvif
