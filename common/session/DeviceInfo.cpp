#include "common/session/DeviceInfo.h"

#include <cstdio>

void FillDeviceInfo(const proto::CommandView& r, NET_DEVICE_INFO& info) {
    info.reserved = 0;
    info.reservedFlag = 0;
    info.flag32 = r.ByteAt(32) == 1 ? 1 : 0;
    info.flag25 = r.ByteAt(25) == 1 ? 1 : 0;
    info.softwareVersion = r.WordAt(44);
    info.value48 = r.WordAt(48);
    info.constant1 = 1;
    info.value35 = r.ByteAt(31) != 0 ? r.ByteAt(35) : 0;
    info.marker1 = -1;
    info.value26 = r.ByteAt(26);
    info.value27 = r.ByteAt(27);
    info.marker2 = -1;
    for (int i = 0; i < 5; ++i) {
        info.values4to20[i] = r.WordAt(4 + 4 * static_cast<size_t>(i));
    }
    info.value0 = r.WordAt(0);
    const uint32_t kind = r.WordAt(40);
    info.kindCode = kind == 1 ? 15 : (kind == 2 ? 14 : 12);
    for (int i = 0; i < 4; ++i) {
        info.bytes96to99[i] = r.ByteAt(96 + static_cast<size_t>(i));
    }
    info.value52 = r.WordAt(52);
    info.value56 = r.WordAt(56);
    info.constant15 = 15;
    info.value92 = r.WordAt(92);
    info.flag24 = r.ByteAt(24) > 0 ? 1 : 0;
    info.flag29 = r.ByteAt(29) > 0 ? 1 : 0;
    info.flag109 = r.ByteAt(109) > 0 ? 1 : 0;
}

void FormatSoftwareVersion(uint32_t v, char (&text)[32]) {
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
                  static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}
