#include "lanscout/Memberships.h"

#include <algorithm>

namespace lanscout {

std::vector<SearchInterface> SelectInterfaces(platform::NetworkPlatform& net,
                                              const std::vector<std::string>& names) {
    std::vector<SearchInterface> result;
    std::vector<platform::AdapterInfo> adapters;
    if (net.GetAdapters(adapters) != platform::kNetOk) {
        return result;
    }
    for (const auto& adapter : adapters) {
        if (!adapter.up || adapter.addresses.empty() || adapter.index == 0) {
            continue;
        }
        if (!names.empty() && std::find(names.begin(), names.end(), adapter.name) == names.end()) {
            continue;
        }
        result.push_back(
            SearchInterface{adapter.name, adapter.index, adapter.addresses[0].address});
    }
    return result;
}

void Memberships::Update(const std::vector<SearchInterface>& selected) {
    const auto same = [](const SearchInterface& a, const SearchInterface& b) {
        return a.index == b.index && a.name == b.name;
    };
    for (const auto& joined : m_joined) {
        if (std::none_of(selected.begin(), selected.end(),
                         [&](const SearchInterface& s) { return same(s, joined); })) {
            m_socket.Leave(m_group, joined);
        }
    }
    // In the selection's order (interface order), with each interface's
    // current address.
    std::vector<SearchInterface> next;
    for (const auto& candidate : selected) {
        const bool wasJoined =
            std::any_of(m_joined.begin(), m_joined.end(),
                        [&](const SearchInterface& j) { return same(j, candidate); });
        if (wasJoined || m_socket.Join(m_group, candidate)) {
            next.push_back(candidate);
        }
    }
    m_joined = std::move(next);
}

void Memberships::LeaveAll() {
    for (const auto& joined : m_joined) {
        m_socket.Leave(m_group, joined);
    }
    m_joined.clear();
}

const SearchInterface* Memberships::Find(uint32_t index) const {
    for (const auto& joined : m_joined) {
        if (joined.index == index) {
            return &joined;
        }
    }
    return nullptr;
}

}  // namespace lanscout
