#pragma once
// The upgrade package as the worker checks it against one device, and how
// its payload is cut into the 100 pieces of the transfer. Pure functions
// over bytes.
//
// A package is the payload followed by a trailer: 64 bytes for a software
// image, 16 for a kernel, boot loader or intelligent library. Every trailer
// starts with the magic "head"; a component trailer's bytes 4..7 are the
// package kind (u32, little-endian).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace fwbatch {

// The upgrade type: the index of the upgrade-type box, sent with every piece.
enum UpgradeType : int {
    kUpgradeSoftware = 0,   // command 0x0A02
    kUpgradeKernel = 1,     // command 0x0801, kind 2
    kUpgradeUboot = 2,      // command 0x0802, kind 1
    kUpgradeAiLibrary = 3,  // command 0x0805, kind 5
};
constexpr int kUpgradeTypes = 4;

constexpr size_t kSoftwareTrailer = 64;
constexpr size_t kComponentTrailer = 16;
constexpr size_t kPieces = 100;

// The kind a component trailer must carry for the type (0 for software).
uint32_t RequiredKind(int type);

// "software", "kernel", "uboot", "ai" <-> the type; -1 for other names.
int UpgradeTypeFromName(const std::string& name);

// A gzip member header with deflate, no flags, extra flags 0 and operating
// system 3: bytes 0..3 are 1F 8B 08 00 and bytes 8..9 are 00 03.
bool IsCompressedImage(const uint8_t* file, size_t size);

// What the device's software version asks of a software image: it must be
// compressed (major 3, or major 4 below "4.0.2"), must not be (major 4 at or
// above "4.0.2"), or either (any other major). The version is compared as
// the text "%d.%d.%d.%d" byte by byte, so 4.0.10.1 is below "4.0.2".
enum class CompressionRule { MustBeCompressed, MustNotBeCompressed, Either };
CompressionRule CompressionRuleFor(uint32_t softwareVersion);

// The payload length when the package suits the device and the type;
// nothing when it does not (too short, wrong compression for the device's
// version, no "head", wrong kind, or an unknown type).
std::optional<uint32_t> CheckPackage(const uint8_t* file, size_t size, int type,
                                     uint32_t softwareVersion);

// The payload in 100 pieces: the first carries piece + remainder bytes, the
// other 99 `piece` bytes each (so a payload under 100 bytes goes as one first
// piece and 99 empty ones).
struct PiecePlan {
    uint32_t piece = 0;
    uint32_t first = 0;
    // Sequence number 1..100 -> where its bytes start and how many.
    uint32_t Offset(uint32_t sequence) const {
        return sequence <= 1 ? 0 : first + (sequence - 2) * piece;
    }
    uint32_t Size(uint32_t sequence) const { return sequence <= 1 ? first : piece; }
};
PiecePlan PlanPieces(uint32_t payloadLength);

}  // namespace fwbatch
