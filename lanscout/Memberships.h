#pragma once
// The interfaces the search runs on and the group memberships that follow
// them. The socket itself and the wake event are platform services
// (common/platform/MulticastSocket.h, WakeEvent.h).

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/MulticastSocket.h"
#include "common/platform/NetworkPlatform.h"
#include "common/platform/WakeEvent.h"

namespace lanscout {

using MulticastSocket = platform::MulticastSocket;
using WakeEvent = platform::WakeEvent;
// An interface the search runs on.
using SearchInterface = platform::MulticastInterface;

// The interfaces that are up and have an IPv4 address, loopback included,
// in interface order; only those named when names is not empty.
std::vector<SearchInterface> SelectInterfaces(platform::NetworkPlatform& net,
                                              const std::vector<std::string>& names);

// Tracks the interfaces a socket joined the group on and follows the
// selected set: joins new interfaces, leaves those no longer selected.
class Memberships {
public:
    Memberships(MulticastSocket& socket, uint32_t group) : m_socket(socket), m_group(group) {}

    void Update(const std::vector<SearchInterface>& selected);
    void LeaveAll();
    const std::vector<SearchInterface>& Joined() const { return m_joined; }
    const SearchInterface* Find(uint32_t index) const;

private:
    MulticastSocket& m_socket;
    uint32_t m_group;
    std::vector<SearchInterface> m_joined;
};

}  // namespace lanscout
