#include "cfgpush/app/PushJobList.h"

namespace cfgpush {

void PushJobList::Add(int32_t rowIndex, std::string key) {
    m_entries.push_back(Entry{rowIndex, std::move(key), false});
}

const PushJobList::Entry* PushJobList::Report(int32_t rowIndex) {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->rowIndex == rowIndex) {
            it->reported = true;
            return &*it;
        }
    }
    return nullptr;
}

size_t PushJobList::Outstanding() const {
    size_t outstanding = 0;
    for (const Entry& e : m_entries) {
        outstanding += e.reported ? 0 : 1;
    }
    return outstanding;
}

}  // namespace cfgpush
