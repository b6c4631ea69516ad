#pragma once
// A loaded factory configuration package (.fac): the unscrambled file with
// its blocks still enciphered, the customer record, the five picture slots
// and the product-type table. Blocks are deciphered on use. Once loaded the
// object is only read, so threads may share a const one.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cfgpush/engine/CustomerPictures.h"

namespace cfgpush {

// One block of the package: a name (zero-filled text) and where the
// block's bytes lie in the file.
struct FAC_BLOCK_INFO {
    char name[64];
    int32_t offset;  // file offset of the block's first byte
    int32_t length;  // the block's length in the file
};

// The text of a fixed field, up to its first zero byte.
std::string_view BlockName(const FAC_BLOCK_INFO& block);

enum class FacLoadResult {
    kLoaded,
    kCannotOpen,  // missing or unreadable: nothing is said to the operator
    kBadFormat,   // wrong magic, or lengths and counts that do not fit the file
};

// A product type as the window's sorted box shows it.
struct ProductTypeEntry {
    std::string name;
    int32_t entryNumber = 0;
};

class FacPackage {
public:
    // Discards what was loaded, then reads the file at `path` (read-only).
    // On any failure nothing of the file is kept. `openErrno` receives the
    // system's error when the file cannot be opened or read.
    FacLoadResult Load(const std::string& path, int* openErrno = nullptr);

    // The same from the file's bytes.
    FacLoadResult LoadBytes(std::vector<uint8_t> fileBytes);

    void Clear();
    bool IsLoaded() const { return m_loaded; }

    // Name = the customer code; offset and length = the common block.
    const FAC_BLOCK_INFO& Customer() const { return m_customer; }
    std::string_view CustomerCode() const { return BlockName(m_customer); }

    // All zero when the package has no picture of the kind.
    const FAC_BLOCK_INFO& PictureSlot(PictureKind kind) const {
        return m_pictures[static_cast<size_t>(kind)];
    }
    // 1 when the file's picture count is above 0, else 0.
    int PicturesPresent() const { return m_picturesPresent; }

    // Product entries with data, by entry number (0, 1, ... in file order).
    const std::map<int32_t, FAC_BLOCK_INFO>& ProductTypes() const { return m_products; }
    const FAC_BLOCK_INFO* FindProduct(int32_t entryNumber) const;

    // The product types in the order of the window's sorted box:
    // alphabetical without regard to letter case, equal names in file order.
    std::vector<ProductTypeEntry> ProductTypesInBoxOrder() const;

    // The entry number of the first product type of that name in box order.
    std::optional<int32_t> FindProductByName(std::string_view name) const;

    // The deciphered bytes of a block of the file (no terminating zero).
    // Empty when the block is empty, lies outside the file or does not
    // decipher (the cipher then writes its line to the diagnostics).
    std::vector<uint8_t> DecipherBlock(int32_t offset, int32_t length) const;
    std::vector<uint8_t> DecipherBlock(const FAC_BLOCK_INFO& block) const {
        return DecipherBlock(block.offset, block.length);
    }

    // The unscrambled file.
    std::span<const uint8_t> FileBytes() const { return m_file; }

private:
    bool Parse();

    bool m_loaded = false;
    std::vector<uint8_t> m_file;
    FAC_BLOCK_INFO m_customer{};
    std::array<FAC_BLOCK_INFO, kPictureKindCount> m_pictures{};
    int m_picturesPresent = 0;
    std::map<int32_t, FAC_BLOCK_INFO> m_products;
};

}  // namespace cfgpush
