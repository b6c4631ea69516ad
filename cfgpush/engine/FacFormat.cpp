#include "cfgpush/engine/FacFormat.h"

namespace cfgpush {
namespace {

constexpr uint8_t kEvenShift = 0x27;
constexpr uint8_t kOddShift = 0x47;

}  // namespace

void ScrambleFacBytes(std::span<uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(bytes[i] + (i % 2 == 0 ? kEvenShift : kOddShift));
    }
}

void UnscrambleFacBytes(std::span<uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(bytes[i] - (i % 2 == 0 ? kEvenShift : kOddShift));
    }
}

}  // namespace cfgpush
