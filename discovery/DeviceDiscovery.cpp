#include "discovery/DeviceDiscovery.h"

#include "common/platform/Diagnostics.h"

namespace discovery {

int SearchInterval(Program program) {
    return program == Program::Fwbatch ? 5 : 1;
}

DeviceDiscovery::DeviceDiscovery(DiscoveryOptions options) : m_options(std::move(options)) {}

void DeviceDiscovery::OurReport(const char* mac, int kind, const char* xml, void* context) {
    auto* self = static_cast<DeviceDiscovery*>(context);
    std::lock_guard<std::mutex> lock(self->m_mergeLock);
    self->Hand(self->m_merge.OnOurs(mac != nullptr ? mac : "", kind, xml != nullptr ? xml : ""));
}

void DeviceDiscovery::OnvifReport(int kind, const onvif::OnvifDevice& device) {
    std::lock_guard<std::mutex> lock(m_mergeLock);
    Hand(m_merge.OnOnvif(kind, device));
}

void DeviceDiscovery::Hand(const std::optional<MergedReport>& report) {
    if (report) {
        m_callback(report->key.c_str(), report->kind, report->xml.c_str(), m_context);
    }
}

bool DeviceDiscovery::Start(LANSCOUT_Callback callback, void* context) {
    if (m_running) {
        return true;
    }
    platform::NetworkPlatform& net =
        m_options.net != nullptr ? *m_options.net : platform::Network();
    {
        std::lock_guard<std::mutex> lock(m_mergeLock);
        m_merge = SourceMerge(m_options.dataPort);
    }
    m_callback = callback;
    m_context = context;
    // Our own search alone goes straight to the program, as it always did.
    const bool merging = m_options.onvif;
    if (merging
            ? LANSCOUT_Initial(&DeviceDiscovery::OurReport, this, kSearchHopLimit) != LANSCOUT_OK
            : LANSCOUT_Initial(callback, context, kSearchHopLimit) != LANSCOUT_OK) {
        return false;
    }
    m_running = true;
    if (!m_options.interfaces.empty()) {
        ApplyInterfaces();
    }
    m_onvif.reset();
    {
        std::lock_guard<std::mutex> lock(m_mergeLock);
        m_onvifError.clear();
    }
    if (m_options.onvif) {
        onvif::OnvifSearchOptions options = m_options.onvifOptions;
        options.interfaces = m_options.interfaces;
        m_onvif = std::make_unique<onvif::OnvifSearch>(
            [this](int kind, const onvif::OnvifDevice& device) { OnvifReport(kind, device); },
            options, net);
    }
    const int interval = SearchInterval(m_options.program);
    const bool wait = m_options.waitForNetwork;
    const bool ours = m_options.ourSearch;
    if (!m_watch.Start([&net, wait] { return !wait || net.IsNetworkAlive(); },
                       [this, interval, ours] {
                           if (ours) {
                               const int r = LANSCOUT_StartAuto(interval);
                               platform::DiagPrintf("search started: %d\n", r);
                           }
                           std::string error;
                           if (m_onvif && !m_onvif->Start(&error)) {
                               platform::DiagPrintf("ONVIF search not started: %s\n", error.c_str());
                               std::lock_guard<std::mutex> lock(m_mergeLock);
                               m_onvifError = error;
                           }
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

void DeviceDiscovery::SetDataPort(int32_t dataPort) {
    std::lock_guard<std::mutex> lock(m_mergeLock);
    m_options.dataPort = dataPort;
    m_merge.SetDataPort(dataPort);
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
    if (m_onvif) {
        m_onvif->SetInterfaces(m_options.interfaces);
    }
    return true;
}

bool DeviceDiscovery::SideRecord(const std::string& key, DeviceSideRecord& out) const {
    std::lock_guard<std::mutex> lock(m_mergeLock);
    if (!m_options.onvif) {
        // Our own search alone: every listed device is ours; nothing is kept beside it.
        out = DeviceSideRecord();
        out.key = key;
        out.ourMac = key;
        return false;
    }
    return m_merge.SideRecord(key, out);
}

std::string DeviceDiscovery::OnvifError() const {
    std::lock_guard<std::mutex> lock(m_mergeLock);
    return m_onvifError;
}

std::vector<std::string> DeviceDiscovery::Keys() const {
    std::lock_guard<std::mutex> lock(m_mergeLock);
    return m_merge.Keys();
}

void DeviceDiscovery::Stop() {
    if (!m_running) {
        return;
    }
    m_watch.Stop();
    LANSCOUT_Quit();
    LANSCOUT_SetInterfaces(nullptr, 0);
    if (m_onvif) {
        m_onvif->Stop();  // no report follows
    }
    m_running = false;
}

}  // namespace discovery
