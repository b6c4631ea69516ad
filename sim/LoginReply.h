#pragma once
// The device's two answers to a login: the success body that fills the
// program's device-information record, and the refusal with its code.

#include <cstdint>
#include <vector>

#include "sim/DeviceConfig.h"

namespace sim {

// Refusal codes the device uses.
inline constexpr uint32_t kRefuseWrongCredentials = 2;
inline constexpr uint32_t kRefuseTooManyConnections = 3;

inline constexpr size_t kLoginReplyBodySize = 112;

// Body of 0x01000101. What the programs use is the software version word at
// offset 44; the rest describes a one-channel camera:
//   0 product type | 4 video channels 1 | 8 alarm inputs 1 | 12 alarm outputs 1
//   16 audio channels 1 | 20 0 | 24 byte 1 | 40 device kind 1 | 44 version
//   48 build | 52 HTTP port | 56 data port | everything else 0
std::vector<uint8_t> LoginSuccessBody(const DeviceConfig& config, uint16_t boundDataPort);

// Body of 0x01000102: the refusal code in word 0.
std::vector<uint8_t> LoginRefusalBody(uint32_t code);

}  // namespace sim
