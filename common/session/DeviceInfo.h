#pragma once
// The device-information record the login fills from the device's success
// reply (its body offsets are named in the fields), kept by the session and
// handed to the caller.

#include <cstdint>

#include "common/session/CommandMessage.h"

struct NET_DEVICE_INFO {
    uint32_t reserved = 0;
    uint8_t reservedFlag = 0;
    uint8_t flag32 = 0;           // body byte 32 is 1
    uint8_t flag25 = 0;           // body byte 25 is 1
    uint32_t softwareVersion = 0; // body word 44: four parts, the first in the top byte
    uint32_t value48 = 0;
    uint32_t constant1 = 0;       // 1
    uint32_t value35 = 0;         // body byte 35 when body byte 31 is non-zero
    int32_t marker1 = 0;          // -1
    uint32_t value26 = 0;
    uint32_t value27 = 0;
    int32_t marker2 = 0;          // -1
    uint32_t values4to20[5] = {};  // body words 4, 8, 12, 16, 20
    uint32_t value0 = 0;
    uint32_t kindCode = 0;        // 15 when body word 40 is 1, 14 when 2, else 12
    uint32_t notSet1[4] = {};
    uint32_t bytes96to99[4] = {};
    uint32_t notSet2[3] = {};
    uint32_t value52 = 0;
    uint32_t value56 = 0;
    uint32_t constant15 = 0;      // 15
    uint32_t value92 = 0;
    uint8_t flag24 = 0;           // body byte 24 > 0
    uint8_t flag29 = 0;           // body byte 29 > 0
    uint8_t flag109 = 0;          // body byte 109 > 0
};

// Fills the record from a login success reply's body. Offsets past the end
// of a short body read as 0. The four words marked not set keep their value.
void FillDeviceInfo(const proto::CommandView& reply, NET_DEVICE_INFO& info);

// "%d.%d.%d.%d" of a software version word, the most significant byte first.
void FormatSoftwareVersion(uint32_t version, char (&text)[32]);
