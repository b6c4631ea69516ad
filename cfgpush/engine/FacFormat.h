#pragma once
// The factory configuration package's container: magic, scrambling and the
// text rules shared by the reader and the writer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace cfgpush {

// The first 8 bytes of every package; stored as is.
inline constexpr char kFacMagic[] = "KMX_HEAD";
constexpr size_t kFacMagicSize = 8;

// Longest customer code, picture or product name the format holds (its
// fields are 64 bytes with a terminating zero).
constexpr size_t kFacNameMax = 63;

// Every configuration block's text must contain this header.
inline constexpr std::string_view kConfigHeader = "[IPCamera-Config-File]";

// Everything after the magic is stored scrambled: the byte at distance i
// from the end of the magic is stored as the clear byte plus 0x27 (i even)
// or plus 0x47 (i odd), modulo 256. `bytes` starts right after the magic.
void ScrambleFacBytes(std::span<uint8_t> bytes);
void UnscrambleFacBytes(std::span<uint8_t> bytes);

}  // namespace cfgpush
