#pragma once
// The fleet file: JSON settings for many devices. Each device starts from
// the built-in defaults for its index, then takes the file's "defaults",
// then the command line's settings, then its own entry in "devices".
//
//   { "count": 8,                       optional; else the number of entries, else 1
//     "defaults": { ...settings... },   optional
//     "devices": [ { ...settings... }, ... ] }   optional; entry i is device i
//
// A file may also be just the array of device entries. Unknown keys and
// values of the wrong type or range are errors. FleetSchemaText() lists
// every setting.

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/DeviceConfig.h"

namespace sim {

struct FleetRequest {
    const nlohmann::json* file = nullptr;  // null: no file
    size_t count = 0;                      // 0: as the file says
    // Fills one device's command-line settings (same keys as the file).
    std::function<void(size_t index, nlohmann::json& settings)> overlay;
};

bool ReadFleetFile(const std::string& path, nlohmann::json& document, std::string& error);

// Makes every device's settings; false with the reason (naming the key).
bool BuildFleet(const FleetRequest& request, std::vector<DeviceConfig>& devices,
                std::string& error);

// Applies one settings object to a device; `where` names it in errors.
bool ApplySettings(const nlohmann::json& settings, const std::string& where, DeviceConfig& config,
                   std::string& error);

// The settings and their meaning, for --help and the README.
const char* FleetSchemaText();

}  // namespace sim
