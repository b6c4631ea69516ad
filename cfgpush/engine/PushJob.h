#pragma once
// A push job: everything one worker needs to push the configuration to one
// device. The job owns copies of the credentials and its payload, so a
// worker that outlives its window or command touches nothing of theirs.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cfgpush/engine/FactoryItems.h"

namespace cfgpush {

class FacPackage;

struct _file_cfg_info {
    int32_t rowIndex = 0;        // the device's row when the push started: the job's id
    char firstAddress[20] = {};  // zero-terminated text
    char secondAddress[20] = {};
    int32_t dataPort = 0;  // low 16 bits: the session's TCP port
    int32_t webPort = 0;   // not used by the push
    char mac[20] = {};
    char softwareVersion[20] = {};  // without the list's build decoration
    bool version3 = false;          // by the version rule, decides the payload
    std::string userName;           // 8-bit text (low byte of each character)
    std::string password;           // 8-bit text; never written to diagnostics
    std::vector<uint8_t> payload;   // GetSendData's bytes for this device
};
using CfgPushJob = _file_cfg_info;

// What a job needs to know of its device.
struct PushTarget {
    std::string firstAddress;
    std::string secondAddress;
    int32_t dataPort = 0;
    int32_t webPort = 0;
    std::string mac;
    std::string softwareVersion;
};

// The version rule: a software version text that begins with "3" is a
// version-3 device; every other one, also an empty one, is version 4.
bool IsVersion3Software(std::string_view softwareVersion);

// 8-bit text by keeping the low byte of every UTF-16 code unit.
std::string LowBytesOfUtf16(std::u16string_view text);

// The same for text given as UTF-8 (the command line's arguments): each
// character becomes its UTF-16 code units, each unit its low byte. Bytes
// that are not valid UTF-8 are kept as they are.
std::string LowBytesOfUtf8(std::string_view text);

// Makes the job for one device: copies its fields (texts cut to 19 bytes),
// decides its version and builds its payload from the item lists and the
// package's pictures. False when no payload can be built.
bool MakePushJob(int32_t rowIndex, const PushTarget& target, std::string userName,
                 std::string password, const FactoryItemLists& lists, const FacPackage& package,
                 _file_cfg_info& job);

}  // namespace cfgpush
