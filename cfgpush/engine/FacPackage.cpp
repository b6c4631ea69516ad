#include "cfgpush/engine/FacPackage.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "cfgpush/engine/FacFormat.h"
#include "common/crypto/DesCbc.h"
#include "common/platform/ByteOrder.h"
#include "common/platform/Files.h"

namespace cfgpush {
namespace {

// Reads the unscrambled file field by field and never past its end.
class FieldReader {
public:
    explicit FieldReader(std::span<const uint8_t> bytes, size_t start)
        : m_bytes(bytes), m_pos(start) {}

    size_t Position() const { return m_pos; }
    bool AtEnd() const { return m_pos >= m_bytes.size(); }

    bool ReadUint32(uint32_t& value) {
        if (m_bytes.size() - m_pos < 4) {
            return false;
        }
        value = byteorder::ReadLe32(m_bytes.data() + m_pos);
        m_pos += 4;
        return true;
    }

    // A length field: negative lengths do not fit any file.
    bool ReadLength(int32_t& length) {
        uint32_t raw = 0;
        if (!ReadUint32(raw) || raw > static_cast<uint32_t>(INT32_MAX)) {
            return false;
        }
        length = static_cast<int32_t>(raw);
        return true;
    }

    // Skips `length` bytes that must lie inside the file.
    bool Skip(int32_t length) {
        if (static_cast<size_t>(length) > m_bytes.size() - m_pos) {
            return false;
        }
        m_pos += static_cast<size_t>(length);
        return true;
    }

    // A length-prefixed name into a 64-byte field: cut at a zero byte and
    // to 63 bytes.
    bool ReadName(char (&field)[64]) {
        int32_t length = 0;
        const size_t start = m_pos + 4;
        if (!ReadLength(length) || !Skip(length)) {
            return false;
        }
        std::memset(field, 0, sizeof field);
        const auto* text = reinterpret_cast<const char*>(m_bytes.data() + start);
        const size_t kept =
            strnlen(text, std::min<size_t>(static_cast<size_t>(length), kFacNameMax));
        std::memcpy(field, text, kept);
        return true;
    }

    // A length-prefixed block: notes where it lies and skips it.
    bool ReadBlock(FAC_BLOCK_INFO& block) {
        int32_t length = 0;
        if (!ReadLength(length)) {
            return false;
        }
        block.offset = static_cast<int32_t>(m_pos);
        block.length = length;
        return Skip(length);
    }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_pos;
};

int CompareFolded(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto fold = [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
        };
        const int diff = fold(a[i]) - fold(b[i]);
        if (diff != 0) {
            return diff;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

std::string_view BlockName(const FAC_BLOCK_INFO& block) {
    return std::string_view(block.name, strnlen(block.name, sizeof block.name));
}

void FacPackage::Clear() {
    m_loaded = false;
    m_file.clear();
    m_file.shrink_to_fit();
    m_customer = FAC_BLOCK_INFO{};
    m_pictures.fill(FAC_BLOCK_INFO{});
    m_picturesPresent = 0;
    m_products.clear();
}

FacLoadResult FacPackage::Load(const std::string& path, int* openErrno) {
    Clear();
    if (openErrno != nullptr) {
        *openErrno = 0;
    }
    auto fail = [openErrno](int error) {
        if (openErrno != nullptr) {
            *openErrno = error;
        }
        return FacLoadResult::kCannotOpen;
    };
    // Offsets in the package are 32-bit signed: a larger file cannot be one.
    std::vector<uint8_t> bytes;
    int error = 0;
    switch (platform::ReadRegularFile(path, INT32_MAX, bytes, error)) {
        case platform::FileReadResult::kCannotRead:
            return fail(error);
        case platform::FileReadResult::kTooLarge:
            return FacLoadResult::kBadFormat;
        case platform::FileReadResult::kOk:
            break;
    }
    return LoadBytes(std::move(bytes));
}

FacLoadResult FacPackage::LoadBytes(std::vector<uint8_t> fileBytes) {
    Clear();
    if (fileBytes.size() < kFacMagicSize ||
        std::memcmp(fileBytes.data(), kFacMagic, kFacMagicSize) != 0 ||
        fileBytes.size() > static_cast<size_t>(INT32_MAX)) {
        return FacLoadResult::kBadFormat;
    }
    UnscrambleFacBytes(std::span<uint8_t>(fileBytes).subspan(kFacMagicSize));
    m_file = std::move(fileBytes);
    if (!Parse()) {
        Clear();
        return FacLoadResult::kBadFormat;
    }
    m_loaded = true;
    return FacLoadResult::kLoaded;
}

bool FacPackage::Parse() {
    FieldReader reader(m_file, kFacMagicSize);
    if (!reader.ReadName(m_customer.name) || !reader.ReadBlock(m_customer)) {
        return false;
    }

    uint32_t pictureCount = 0;
    if (!reader.ReadUint32(pictureCount)) {
        return false;
    }
    for (uint32_t i = 0; i < pictureCount; ++i) {
        FAC_BLOCK_INFO entry{};
        if (!reader.ReadName(entry.name) || !reader.ReadBlock(entry)) {
            return false;
        }
        // A later entry of the same kind replaces an earlier one.
        if (const auto kind = PictureKindOfName(BlockName(entry))) {
            m_pictures[static_cast<size_t>(*kind)] = entry;
        }
    }
    m_picturesPresent = pictureCount > 0 ? 1 : 0;

    // Product entries run to the end of the file; only entries with data
    // are listed and numbered.
    int32_t entryNumber = 0;
    while (!reader.AtEnd()) {
        FAC_BLOCK_INFO entry{};
        if (!reader.ReadName(entry.name) || !reader.ReadBlock(entry)) {
            return false;
        }
        if (entry.length > 0) {
            m_products.emplace(entryNumber++, entry);
        }
    }
    return true;
}

const FAC_BLOCK_INFO* FacPackage::FindProduct(int32_t entryNumber) const {
    const auto it = m_products.find(entryNumber);
    return it == m_products.end() ? nullptr : &it->second;
}

std::vector<ProductTypeEntry> FacPackage::ProductTypesInBoxOrder() const {
    std::vector<ProductTypeEntry> entries;
    for (const auto& [number, block] : m_products) {
        entries.push_back({std::string(BlockName(block)), number});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ProductTypeEntry& a, const ProductTypeEntry& b) {
                         return CompareFolded(a.name, b.name) < 0;
                     });
    return entries;
}

std::optional<int32_t> FacPackage::FindProductByName(std::string_view name) const {
    for (const ProductTypeEntry& entry : ProductTypesInBoxOrder()) {
        if (entry.name == name) {
            return entry.entryNumber;
        }
    }
    return std::nullopt;
}

std::vector<uint8_t> FacPackage::DecipherBlock(int32_t offset, int32_t length) const {
    if (length <= 0 || offset < 0 || static_cast<size_t>(offset) > m_file.size() ||
        static_cast<size_t>(length) > m_file.size() - static_cast<size_t>(offset)) {
        return {};
    }
    std::vector<uint8_t> plain;
    crypto::DecryptDesCbc(kFacDesIvText, kFacDesKeyText,
                          std::span<const uint8_t>(m_file).subspan(static_cast<size_t>(offset),
                                                                   static_cast<size_t>(length)),
                          plain);
    return plain;
}

}  // namespace cfgpush
