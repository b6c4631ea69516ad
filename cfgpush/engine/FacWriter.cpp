#include "cfgpush/engine/FacWriter.h"

#include <climits>
#include <span>
#include <string_view>

#include "cfgpush/engine/FacFormat.h"
#include "common/crypto/DesCbc.h"

namespace cfgpush {
namespace {

class PackageWriter {
public:
    explicit PackageWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void Uint32(uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            m_out.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    void Text(std::string_view text) {
        Uint32(static_cast<uint32_t>(text.size()));
        m_out.insert(m_out.end(), text.begin(), text.end());
    }
    bool Block(const std::vector<uint8_t>& plain, std::string& problem) {
        std::vector<uint8_t> cipher;
        if (!crypto::EncryptDesCbc(kFacDesIvText, kFacDesKeyText, plain, cipher)) {
            problem = "DES-CBC is not available (OpenSSL \"legacy\" provider)";
            return false;
        }
        Uint32(static_cast<uint32_t>(cipher.size()));
        m_out.insert(m_out.end(), cipher.begin(), cipher.end());
        return true;
    }

private:
    std::vector<uint8_t>& m_out;
};

bool CheckName(std::string_view what, const std::string& name, std::string& problem) {
    if (name.size() > kFacNameMax) {
        problem = std::string(what) + " \"" + name + "\" is longer than " +
                  std::to_string(kFacNameMax) + " bytes";
        return false;
    }
    return true;
}

}  // namespace

bool BuildFacPackage(const FacPackageSource& source, std::vector<uint8_t>& file,
                     std::string& problem) {
    file.clear();
    problem.clear();
    if (!CheckName("customer code", source.customerCode, problem)) {
        return false;
    }
    uint64_t total =
        kFacMagicSize + 4 + source.customerCode.size() + 4 + source.commonText.size() + 8 + 4;
    for (const auto* list : {&source.pictures, &source.products}) {
        for (const FacEntrySource& entry : *list) {
            if (!CheckName(list == &source.pictures ? "picture name" : "product name", entry.name,
                           problem)) {
                return false;
            }
            total += 8 + entry.name.size() + entry.plain.size() + 8;
        }
    }
    // Offsets in the package are 32-bit signed.
    if (total > static_cast<uint64_t>(INT32_MAX)) {
        problem = "the package would be larger than 2 GiB";
        return false;
    }

    file.reserve(static_cast<size_t>(total));
    file.assign(kFacMagic, kFacMagic + kFacMagicSize);
    PackageWriter out(file);
    out.Text(source.customerCode);
    if (!out.Block(source.commonText, problem)) {
        return false;
    }
    out.Uint32(static_cast<uint32_t>(source.pictures.size()));
    for (const auto* list : {&source.pictures, &source.products}) {
        for (const FacEntrySource& entry : *list) {
            out.Text(entry.name);
            if (!out.Block(entry.plain, problem)) {
                return false;
            }
        }
    }
    ScrambleFacBytes(std::span<uint8_t>(file).subspan(kFacMagicSize));
    return true;
}

}  // namespace cfgpush
