#include "discovery/DeviceDiscovery.h"

#include "common/platform/Diagnostics.h"

namespace discovery {

int SearchInterval(Program program) {
    return program == Program::Fwbatch ? 5 : 1;
}

DeviceDiscovery::DeviceDiscovery(DiscoveryOptions options) : m_options(std::move(options)) {}

bool DeviceDiscovery::Start(LANSCOUT_Callback callback, void* context) {
    if (m_running) {
        return true;
    }
    platform::NetworkPlatform& net =
        m_options.net != nullptr ? *m_options.net : platform::Network();
    if (LANSCOUT_Initial(callback, context, kSearchHopLimit) != LANSCOUT_OK) {
        return false;
    }
    m_running = true;
    if (!m_options.interfaces.empty()) {
        ApplyInterfaces();
    }
    const int interval = SearchInterval(m_options.program);
    const bool wait = m_options.waitForNetwork;
    if (!m_watch.Start([&net, wait] { return !wait || net.IsNetworkAlive(); },
                       [interval] {
                           const int r = LANSCOUT_StartAuto(interval);
                           platform::DiagPrintf("search started: %d\n", r);
                       },
                       m_options.networkPollMs)) {
        platform::DiagPrintf("network watch not started: no search\n");
    }
    if (m_options.addLinkLocalRoute) {
        m_routeCommand = AddLinkLocalRoute(m_options.program, net);
    }
    return true;
}

bool DeviceDiscovery::ApplyInterfaces() {
    std::vector<const char*> names;
    for (const std::string& n : m_options.interfaces) {
        names.push_back(n.c_str());
    }
    return LANSCOUT_SetInterfaces(names.empty() ? nullptr : names.data(), static_cast<int>(names.size())) ==
           LANSCOUT_OK;
}

bool DeviceDiscovery::SetInterfaces(std::vector<std::string> interfaces) {
    const std::vector<std::string> before = m_options.interfaces;
    m_options.interfaces = std::move(interfaces);
    if (!m_running) {
        return true;  // applied at the start
    }
    if (!ApplyInterfaces()) {
        m_options.interfaces = before;  // the library keeps the restriction it had
        return false;
    }
    return true;
}

void DeviceDiscovery::Stop() {
    if (!m_running) {
        return;
    }
    m_watch.Stop();
    LANSCOUT_Quit();
    LANSCOUT_SetInterfaces(nullptr, 0);
    m_running = false;
}

}  // namespace discovery
