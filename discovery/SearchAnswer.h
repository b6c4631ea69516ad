#pragma once
// Turns one report of the search library (MAC text, kind, answer text)
// into what the main window needs: nothing (dropped), a gone notice, or a
// new device record. Runs on the search library's threads; touches nothing
// but its own document and the new record.

#include <memory>

#include "discovery/SearchDeviceInfo.h"

namespace discovery {

// Kinds of search report.
constexpr int kReportAnswer = 1;
constexpr int kReportGone = 2;
constexpr int kReportAnswerChanged = 3;

// What differs between the two programs.
struct SearchAnswerRules {
    // An answer whose "productSeries" lacks this text is dropped.
    const char* seriesNeedle;
    // Also read "softwareBulildDate", "kernelVer" and "deviceActivated".
    bool readBuildDetails;
};

inline constexpr SearchAnswerRules kCfgpushRules{"KMX", false};
inline constexpr SearchAnswerRules kFwbatchRules{"KMX_IPC", true};

struct SearchReport {
    enum class Type { Dropped, Gone, Device };
    Type type = Type::Dropped;
    // Gone and Device: the device's identity in the search, the first text
    // of the report. Our own search's devices are known by their MAC text;
    // a camera that only ONVIF found, by its endpoint reference, which is
    // not a MAC and never goes into the record's MAC field. A program keys
    // its rows by this and looks up the side record with it
    // (DeviceDiscovery::SideRecord).
    std::string key;
    // Gone: the 20-byte zero-filled MAC block; null for an ONVIF camera
    // whose MAC is not known.
    std::unique_ptr<char[]> goneMac;
    // Device: the new record.
    std::unique_ptr<SEARCH_DEVICE_INFO> device;
};

// `mac` is the report's first text: the MAC text of our own search's
// devices, the identity key of devices that discovery merged or found by
// ONVIF. Their answers (written by discovery, with a "deviceSource" element)
// carry the MAC in "deviceMac", which may be empty.
SearchReport ParseSearchAnswer(const char* mac, int kind, const char* answer,
                               const SearchAnswerRules& rules);

// The longest identity key a report carries.
constexpr size_t kDeviceKeyMax = 256;

// Copies `text` into a field of `capacity` bytes, zero-terminated, cutting
// it to capacity - 1 bytes without splitting a UTF-8 sequence.
void CopyField(char* field, size_t capacity, const char* text, size_t length);

// The leading-integer rule: leading white space, an optional sign, digits
// up to the first non-digit; no digits give 0; values beyond 32 bits are
// clamped.
int32_t LeadingInt(const char* text);

}  // namespace discovery
