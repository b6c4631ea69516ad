#pragma once
// What the searcher knows about the devices that answered: decides which
// answers are reported (first answer, changed answer) and which devices are
// gone. Pure state, driven by round numbers, so it is tested without a
// network or a clock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace lanscout {

class DeviceTable {
public:
    struct GoneDevice {
        std::string mac;
        std::string xml;  // the device's last answer
    };

    // A device is gone when it missed missedRoundsForGone closed rounds in a
    // row (at least 1). At most maxDevices devices are tracked; answers of
    // further new devices are ignored until room is made.
    DeviceTable(uint32_t missedRoundsForGone, size_t maxDevices);

    // An answer of round `round`. Returns the kind to report: 1 for a device
    // not present (new, or back after being gone), 3 when its text differs
    // from its last one, 0 when nothing is to be reported.
    int OnAnswer(const std::string& mac, const std::string& xml, uint64_t round);

    // Closes round `round`: removes and returns, oldest first, the devices
    // that missed the rounds of the gone rule.
    std::vector<GoneDevice> CloseRound(uint64_t round);

    size_t Size() const { return m_devices.size(); }
    // Answers of new devices ignored because the table was full.
    uint64_t Ignored() const { return m_ignored; }

private:
    struct Entry {
        std::string xml;
        uint64_t lastRound = 0;
        uint64_t order = 0;  // when first seen, to report in a stable order
    };

    uint32_t m_missedRoundsForGone;
    size_t m_maxDevices;
    uint64_t m_nextOrder = 0;
    uint64_t m_ignored = 0;
    std::unordered_map<std::string, Entry> m_devices;
};

}  // namespace lanscout
