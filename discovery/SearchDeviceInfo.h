#pragma once
// The device record built from one search answer. One record type serves
// both programs: every text field has the larger of the two programs'
// capacities. Text fields are zero-terminated byte arrays; a field of
// capacity N holds at most N-1 bytes. Records are zero-filled on creation
// and copied whole when a device answers again.

#include <cstddef>
#include <cstdint>
#include <cstring>

struct SEARCH_DEVICE_INFO {
    char devName[64];  // "productInfo"/"devName", UTF-8
    char mac[64];      // the search library's MAC text: the identity
    char ip[2][20];    // first and second "tcpIp"/"ipAddr"/"item"
    char mask[2][20];
    int32_t dataPort;  // "port"/"dataPort": the command port
    int32_t httpPort;  // "port"/"httpPort"
    char productModel[24];
    char softwareVer[20];
    char softwareBuildDate[16];  // "productInfo"/"softwareBulildDate" (sic)
    char kernelVer[16];
    int32_t build;            // -1 when "productInfo" has no "build"
    int32_t deviceActivated;  // 0 activated, 1 not activated
};

// The MAC text is at most this many characters everywhere it travels (the
// gone notice's block holds 20 bytes), so a longer text is cut to it in
// the record too and the two always compare equal.
constexpr size_t kMacTextMax = 19;
constexpr size_t kGoneMacBlockSize = 20;

// Identity: the whole MAC field, byte for byte (exact, case-sensitive).
inline bool SameDevice(const SEARCH_DEVICE_INFO& a, const SEARCH_DEVICE_INFO& b) {
    return std::memcmp(a.mac, b.mac, sizeof a.mac) == 0;
}
