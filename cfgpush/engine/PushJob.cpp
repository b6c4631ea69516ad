#include "cfgpush/engine/PushJob.h"

#include <algorithm>
#include <cstring>

#include "cfgpush/engine/SendData.h"

namespace cfgpush {
namespace {

template <size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    const size_t kept = std::min(text.size(), N - 1);
    if (kept > 0) {
        std::memcpy(field, text.data(), kept);
    }
}

// Decodes one UTF-8 sequence at `i`; false when it is not valid there.
bool DecodeUtf8(std::string_view text, size_t& i, char32_t& cp) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t extra = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
        ++i;
        return true;
    }
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + extra >= text.size()) {
        return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return false;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return false;
    }
    i += extra + 1;
    return true;
}

}  // namespace

bool IsVersion3Software(std::string_view softwareVersion) {
    return !softwareVersion.empty() && softwareVersion.front() == '3';
}

std::string LowBytesOfUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
    }
    return out;
}

std::string LowBytesOfUtf8(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        if (!DecodeUtf8(text, i, cp)) {
            out += text[i++];
            continue;
        }
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out += static_cast<char>((0xD800 + (v >> 10)) & 0xFF);
            out += static_cast<char>((0xDC00 + (v & 0x3FF)) & 0xFF);
        } else {
            out += static_cast<char>(cp & 0xFF);
        }
    }
    return out;
}

bool MakePushJob(int32_t rowIndex, const PushTarget& target, std::string userName,
                 std::string password, const FactoryItemLists& lists, const FacPackage& package,
                 _file_cfg_info& job) {
    job = _file_cfg_info{};
    job.rowIndex = rowIndex;
    CopyText(job.firstAddress, target.firstAddress);
    CopyText(job.secondAddress, target.secondAddress);
    job.dataPort = target.dataPort;
    job.webPort = target.webPort;
    CopyText(job.mac, target.mac);
    CopyText(job.softwareVersion, target.softwareVersion);
    job.version3 = IsVersion3Software(FieldText(job.softwareVersion));
    job.userName = std::move(userName);
    job.password = std::move(password);
    return GetSendData(!job.version3, lists, package, job.payload);
}

}  // namespace cfgpush
