#include "common/markup/EntityDecode.h"

#include <array>

namespace markup {
namespace {

struct NamedEntity {
    std::string_view name;  // with its ";"
    char value;
};

constexpr std::array<NamedEntity, 5> kNamed{{
    {"lt;", '<'},
    {"amp;", '&'},
    {"gt;", '>'},
    {"apos;", '\''},
    {"quot;", '"'},
}};

// At most this many characters stand between "#" (or "x") and the ";".
constexpr size_t kMaxReferenceDigits = 7;

// Highest code point written; larger references stay undecoded.
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

int DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (base == 16) {
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
    }
    return -1;
}

// Tries a character reference at text[amp] == '&'. On success appends the
// character, sets `next` past the ";" and returns true.
bool DecodeReference(std::string_view text, size_t amp, std::string& out, size_t& next) {
    if (amp + 1 >= text.size() || text[amp + 1] != '#') {
        return false;
    }
    size_t digits = amp + 2;
    int base = 10;
    if (digits < text.size() && text[digits] == 'x') {
        base = 16;
        ++digits;
    }
    // The ";" must come within the next kMaxReferenceDigits characters.
    size_t semicolon = std::string_view::npos;
    for (size_t i = digits; i < text.size() && i <= digits + kMaxReferenceDigits; ++i) {
        if (text[i] == ';') {
            semicolon = i;
            break;
        }
    }
    if (semicolon == std::string_view::npos) {
        return false;
    }
    // The value is the number the characters begin with; at most seven
    // digits cannot overflow.
    uint32_t value = 0;
    for (size_t i = digits; i < semicolon; ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0) {
            break;
        }
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    }
    if (value == 0 || value > kMaxCodePoint) {
        return false;
    }
    AppendUtf8(out, value);
    next = semicolon + 1;
    return true;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string DecodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, amp - i));
        size_t next = amp + 1;
        bool decoded = DecodeReference(text, amp, out, next);
        if (!decoded) {
            const std::string_view rest = text.substr(amp + 1);
            for (const NamedEntity& e : kNamed) {
                if (rest.substr(0, e.name.size()) == e.name) {
                    out += e.value;
                    next = amp + 1 + e.name.size();
                    decoded = true;
                    break;
                }
            }
        }
        if (!decoded) {
            out += '&';  // an ordinary character; go on after it
            next = amp + 1;
        }
        i = next;
    }
    return out;
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

}  // namespace markup
