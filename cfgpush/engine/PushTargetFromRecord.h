#pragma once
// A push target from a row's device record.

#include <cstring>
#include <string>

#include "cfgpush/engine/PushJob.h"
#include "discovery/SearchDeviceInfo.h"

namespace cfgpush {

inline PushTarget PushTargetFromRecord(const SEARCH_DEVICE_INFO& device) {
    auto text = [](const char* field, size_t size) {
        return std::string(field, strnlen(field, size));
    };
    PushTarget target;
    target.firstAddress = text(device.ip[0], sizeof device.ip[0]);
    target.secondAddress = text(device.ip[1], sizeof device.ip[1]);
    target.dataPort = device.dataPort;
    target.webPort = device.httpPort;
    target.mac = text(device.mac, sizeof device.mac);
    target.softwareVersion = text(device.softwareVer, sizeof device.softwareVer);
    return target;
}

}  // namespace cfgpush
