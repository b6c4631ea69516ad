#pragma once
// The jobs of the current push as the window keeps them: each job's row
// index (its id in the result message) and its device's row key (the MAC
// text of a searched device: ui::DeviceTable::Key), and
// whether its result has come. The push is complete when every job of it
// has reported, whatever rows are checked by then.

#include <cstdint>
#include <string>
#include <vector>

namespace cfgpush {

class PushJobList {
public:
    struct Entry {
        int32_t rowIndex = 0;
        std::string key;
        bool reported = false;
    };

    void Clear() { m_entries.clear(); }
    void Add(int32_t rowIndex, std::string key);

    // The job a result belongs to: the last one with that row index, or
    // null. Marks it reported (a repeated result counts once).
    const Entry* Report(int32_t rowIndex);

    size_t Size() const { return m_entries.size(); }
    size_t Outstanding() const;
    bool Complete() const { return Outstanding() == 0; }
    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
};

}  // namespace cfgpush
