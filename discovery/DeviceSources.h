#pragma once
// Devices from two searches, one row each: our own search (device answers
// keyed by MAC text) and the ONVIF search (cameras keyed by endpoint
// reference). A device both find is one device: the same MAC, or the same
// address and HTTP port. What the device record has no field for (endpoint,
// XAddrs, scopes, which search found it, where each field came from) is
// kept in a side record, looked up by the device's key.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "discovery/SearchDeviceInfo.h"
#include "onvif/Identify.h"
#include "onvif/OnvifDeviceTable.h"

namespace discovery {

// The data port a device found only by ONVIF is reached at (its answer does
// not tell it): the programs' default, which the operator can change.
constexpr int32_t kDefaultDataPort = 9008;

enum class DeviceSource { Ours, Onvif, Both };
const char* DeviceSourceName(DeviceSource source);  // "ours", "onvif", "both"

// Where a field of the record came from.
struct FieldOrigin {
    std::string field;  // "mac", "ip", "mask", "data_port", "http_port", "name", "model",
                        // "software_version"
    std::string
        origin;  // "search answer", "ONVIF MAC scope", "ONVIF XAddrs", "default data port", ...
};

struct DeviceSideRecord {
    std::string key;
    DeviceSource source = DeviceSource::Ours;
    std::string ourMac;  // our search's MAC text, when it found the device
    // What the ONVIF search heard, when it found the device.
    bool hasOnvif = false;
    onvif::OnvifDevice onvif;
    std::vector<FieldOrigin> origins;
};

// The record of a camera only ONVIF found: the address its XAddrs give
// (twice: the programs reach a device by its second address), the mask of
// the local subnet it is on (255.255.255.0, assumed, when it is on none:
// found by its Hello in a foreign subnet), the HTTP port, name and model
// from the scopes, the MAC from a MAC scope when there is one, the given
// data port, no version yet (build -1) and no activation state (-1).
SEARCH_DEVICE_INFO OnvifRecord(const onvif::OnvifDevice& device, int32_t dataPort,
                               std::vector<FieldOrigin>* origins = nullptr);

// The answer text discovery hands on for a device it merged or found by
// ONVIF: our answer's elements, with "deviceSource" and the MAC in
// "deviceMac" (ParseSearchAnswer reads it from there, not from the key).
std::string WriteMergedAnswer(const SEARCH_DEVICE_INFO& record, const std::string& series,
                              DeviceSource source);

// Fills what identification read into a row's record where it has nothing
// yet: the firmware version as the software version, the MAC, the model.
// Returns true when the record changed.
bool ApplyIdentity(SEARCH_DEVICE_INFO& record, const onvif::DeviceIdentity& identity);

// What SourceMerge hands on: a report in the search library's form.
struct MergedReport {
    std::string key;
    int kind = 0;  // 1 found, 2 gone, 3 changed
    std::string xml;
};

// The merge of the two searches' reports. Not thread-safe: its owner
// serialises the calls.
class SourceMerge {
public:
    explicit SourceMerge(int32_t dataPort = kDefaultDataPort) : m_dataPort(dataPort) {}

    // A report of our own search (MAC text, kind, answer).
    std::optional<MergedReport> OnOurs(const std::string& mac, int kind, const std::string& xml);
    // A report of the ONVIF search.
    std::optional<MergedReport> OnOnvif(int kind, const onvif::OnvifDevice& device);

    bool SideRecord(const std::string& key, DeviceSideRecord& out) const;
    // The data port of the devices only ONVIF found, in the reports from
    // here on.
    void SetDataPort(int32_t dataPort) { m_dataPort = dataPort; }
    size_t Size() const { return m_entries.size(); }
    std::vector<std::string> Keys() const;
    void Clear();

private:
    struct Entry {
        std::string key;
        bool hasOurs = false;
        std::string ourMac;
        std::string ourXml;
        SEARCH_DEVICE_INFO ourRecord{};
        std::string ourSeries;
        bool hasOnvif = false;
        onvif::OnvifDevice onvif;
        bool delivered = false;
        std::string lastXml;
    };

    Entry* FindMatch(const std::string& mac, uint32_t address1, uint32_t address2, int32_t httpPort,
                     bool wantOurs);
    std::optional<MergedReport> Deliver(Entry& entry);
    std::optional<MergedReport> Remove(Entry& entry);
    DeviceSideRecord Side(const Entry& entry) const;

    int32_t m_dataPort;
    std::map<std::string, std::unique_ptr<Entry>> m_entries;  // by key
    std::map<std::string, std::string> m_byOurMac;            // our MAC text -> key
    std::map<std::string, std::string> m_byEndpoint;          // endpoint -> key
};

}  // namespace discovery
