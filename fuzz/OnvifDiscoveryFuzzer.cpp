// Fuzz target "onvif_discovery": one datagram as the ONVIF search hears it
// (ProbeMatches, Hello, Bye, faults, junk), through the namespace-aware
// reader, the message parser, the scopes and XAddrs readers and the device
// table, whose bounds must hold whatever arrives.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/markup/XmlNsDocument.h"
#include "fuzz/FuzzSupport.h"
#include "onvif/OnvifDeviceTable.h"
#include "onvif/WsDiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    markup::XmlNsDocument doc;
    if (doc.Parse(text)) {
        FUZZ_CHECK(doc.Root() != nullptr);
    } else {
        FUZZ_CHECK(doc.Root() == nullptr && !doc.Error().empty());
    }

    const onvif::DiscoveryLimits limits;
    const onvif::DiscoveryMessage message = onvif::ParseDiscoveryMessage(text, limits);
    FUZZ_CHECK(message.targets.size() <= limits.maxTargets);
    onvif::OnvifDeviceTable table(4, 1);
    onvif::HeardVia via{"eth0", 2, 0x0100000A, 0x00FFFFFF, 0x0500000A, true};
    uint64_t round = 1;
    for (const onvif::DiscoveryTarget& t : message.targets) {
        FUZZ_CHECK(!t.endpoint.empty() && t.endpoint.size() <= limits.maxEndpointLength);
        FUZZ_CHECK(t.scopes.size() <= limits.maxListItems &&
                   t.xaddrs.size() <= limits.maxListItems);
        onvif::OnvifDevice device;
        const int kind = table.OnHeard(t, via, round, &device);
        FUZZ_CHECK(kind == 0 || kind == 1 || kind == 3);
        if (kind != 0) {
            FUZZ_CHECK(device.endpoint == t.endpoint);
            FUZZ_CHECK(device.facts.mac.empty() || device.facts.mac.size() == 17);
            FUZZ_CHECK(device.heardOn.size() <= onvif::OnvifDeviceTable::kMaxInterfacesPerDevice);
        }
        via.byProbe = !via.byProbe;
        ++round;
    }
    FUZZ_CHECK(table.Size() <= 4);
    table.CloseRound(round + 5);
    if (message.kind == onvif::DiscoveryMessage::Kind::Bye && !message.targets.empty()) {
        table.OnBye(message.targets.front().endpoint, nullptr);
    }
    return 0;
}
