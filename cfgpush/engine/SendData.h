#pragma once
// The configuration payload one device receives.
//
// Version 4 (all integers 32-bit little-endian, names in 16-byte zero-filled
// fields):
//   total length (these 4 bytes included) | "facConfig" | text length T |
//   text: "[IPCamera-Config-File]" CR LF, then every line of the version-4
//   list followed by CR LF |
//   picture sections, each only when present, in the order login logo,
//   title logo, tablet logo, start picture, wallpaper: name | length | bytes
// Version 3:
//   item count K | K records of key (32) and value (32) |
//   when the package has pictures: the login logo, then the title logo,
//   each only when it deciphers to some bytes: entry name (16, at most 15
//   bytes) | length | bytes

#include <cstdint>
#include <vector>

#include "cfgpush/engine/FactoryItems.h"

namespace cfgpush {

class FacPackage;

// Builds a new payload into `payload`. False only when it would not fit a
// 32-bit length (the payload is then empty).
bool GetSendData(bool version4, const FactoryItemLists& lists, const FacPackage& package,
                 std::vector<uint8_t>& payload);

}  // namespace cfgpush
