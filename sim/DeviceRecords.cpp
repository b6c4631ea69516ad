#include "sim/DeviceRecords.h"

#include <algorithm>
#include <chrono>

namespace sim {

const char* ExchangeKindName(ExchangeKind kind) {
    switch (kind) {
        case ExchangeKind::Greeting:
            return "greeting";
        case ExchangeKind::Login:
            return "login";
        case ExchangeKind::Http:
            return "http";
        case ExchangeKind::ConfigV3:
            return "config-v3";
        case ExchangeKind::UpgradePiece:
            return "upgrade-piece";
        case ExchangeKind::Other:
            return "other";
    }
    return "?";
}

DeviceRecords RecordBook::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_records;
}

void RecordBook::Visit(const std::function<void(const DeviceRecords&)>& look) const {
    std::lock_guard<std::mutex> lock(m_lock);
    look(m_records);
}

void RecordBook::Modify(const std::function<void(DeviceRecords&)>& change) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        change(m_records);
    }
    m_changed.notify_all();
    if (m_hook) {
        m_hook();
    }
}

void RecordBook::Clear() {
    Modify([](DeviceRecords& r) {
        const uint32_t open = r.openSessions;  // a count of the present, not a record of the past
        const uint32_t clears = r.clears + 1;
        r = DeviceRecords{};
        r.openSessions = open;
        r.clears = clears;
    });
}

bool RecordBook::WaitFor(const std::function<bool(const DeviceRecords&)>& done,
                         uint32_t limitMs) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(limitMs),
                              [&] { return done(m_records); });
}

void RecordBook::SetChangeHook(ChangeHook hook) {
    m_hook = std::move(hook);
}

size_t PossiblePadding(const std::vector<uint8_t>& payload, bool encrypted) {
    if (!encrypted) {
        return 0;
    }
    size_t zeros = 0;
    while (zeros < payload.size() && zeros < 15 && payload[payload.size() - 1 - zeros] == 0) {
        ++zeros;
    }
    return zeros;
}

bool SamePayload(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& received,
                 bool encrypted) {
    if (!encrypted) {
        return sent == received;
    }
    if (received.size() < sent.size() || received.size() - sent.size() > 15) {
        return false;
    }
    if (!std::equal(sent.begin(), sent.end(), received.begin())) {
        return false;
    }
    return std::all_of(received.begin() + static_cast<std::ptrdiff_t>(sent.size()), received.end(),
                       [](uint8_t b) { return b == 0; });
}

}  // namespace sim
