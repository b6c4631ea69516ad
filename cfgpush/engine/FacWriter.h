#pragma once
// Makes a factory configuration package from its parts: the tool side of
// the format, for integrators, the demo and the tests. The output depends
// only on the inputs (the cipher's key and IV are fixed), so the same
// parts always give the same bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace cfgpush {

struct FacEntrySource {
    std::string name;            // at most 63 bytes
    std::vector<uint8_t> plain;  // the clear bytes: configuration text or image file
};

struct FacPackageSource {
    std::string customerCode;  // at most 63 bytes
    std::vector<uint8_t> commonText;
    std::vector<FacEntrySource> pictures;  // written in this order
    std::vector<FacEntrySource> products;  // written in this order
};

// Writes the package into `file`. False with `problem` set when a name is
// too long, a part is too large for the format's 32-bit fields, or the
// cipher is not available.
bool BuildFacPackage(const FacPackageSource& source, std::vector<uint8_t>& file,
                     std::string& problem);

}  // namespace cfgpush
