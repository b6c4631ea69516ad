#include "common/platform/ArpResolverCapture.h"

#include <algorithm>
#include <cstring>

#include "common/platform/ByteOrder.h"
#include "common/platform/Diagnostics.h"

namespace platform {
namespace {

// Ethernet and ARP fields, by offset.
constexpr size_t kArpFrameSize = 60;  // with padding to the Ethernet minimum
constexpr size_t kArpFieldsEnd = 42;
constexpr size_t kEthernetSource = 6;
constexpr size_t kEtherType = 12;
constexpr size_t kOperation = 20;
constexpr size_t kSenderMac = 22;
constexpr size_t kSenderAddress = 28;
constexpr size_t kTargetMac = 32;
constexpr size_t kTargetAddress = 38;
constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr uint16_t kArpRequest = 1;
constexpr uint16_t kArpReply = 2;

using Mac = std::array<uint8_t, 6>;

// The reply `answerer` sends to the probe's sender: "target is at answerer".
std::array<uint8_t, kArpFrameSize> ReplyTo(const uint8_t* probe, const Mac& answerer) {
    std::array<uint8_t, kArpFrameSize> reply{};
    std::memcpy(reply.data(), probe + kSenderMac, 6);  // to the asking station
    std::memcpy(reply.data() + kEthernetSource, answerer.data(), 6);
    byteorder::WriteBe16(reply.data() + kEtherType, kEtherTypeArp);
    byteorder::WriteBe16(reply.data() + 14, 1);       // Ethernet
    byteorder::WriteBe16(reply.data() + 16, 0x0800);  // IPv4
    reply[18] = 6;
    reply[19] = 4;
    byteorder::WriteBe16(reply.data() + kOperation, kArpReply);
    std::memcpy(reply.data() + kSenderMac, answerer.data(), 6);
    std::memcpy(reply.data() + kSenderAddress, probe + kTargetAddress, 4);
    std::memcpy(reply.data() + kTargetMac, probe + kSenderMac, 6);
    std::memcpy(reply.data() + kTargetAddress, probe + kSenderAddress, 4);
    return reply;
}

class ResolverHandle : public CaptureHandle {
public:
    ResolverHandle(ArpResolver& resolver, uint32_t source)
        : m_resolver(resolver), m_source(source) {}

    bool Send(const uint8_t* frame, size_t length) override {
        if (frame == nullptr || length < kArpFieldsEnd ||
            byteorder::ReadBe16(frame + kEtherType) != kEtherTypeArp ||
            byteorder::ReadBe16(frame + kOperation) != kArpRequest) {
            return false;  // only ARP requests can go out this way
        }
        uint32_t target = 0;
        std::memcpy(&target, frame + kTargetAddress, sizeof target);
        Mac answerer{};
        if (m_resolver.Resolve(target, m_source, answerer)) {
            m_reply = ReplyTo(frame, answerer);
            m_pending = true;
        } else {
            DiagPrintf("no station answers for %s\n", FormatIPv4(target).c_str());
        }
        return true;
    }

    int Next(const uint8_t*& frame, size_t& length) override {
        if (!m_pending) {
            return -1;  // the resolution gave all there is
        }
        m_pending = false;
        frame = m_reply.data();
        length = m_reply.size();
        return 1;
    }

private:
    ArpResolver& m_resolver;
    uint32_t m_source;
    std::array<uint8_t, kArpFrameSize> m_reply{};
    bool m_pending = false;
};

class ResolverCapture : public PacketCapture {
public:
    ResolverCapture(ArpResolver& resolver, NetworkPlatform* net)
        : m_resolver(resolver), m_net(net) {}

    int FindAllDevices(std::vector<CaptureDevice>& devices, std::string& error) override {
        std::vector<AdapterInfo> adapters;
        const int rc = GetAdapterList(Net(), adapters);
        if (rc != kNetOk) {
            error = NetResultText(rc);
            return kCaptureFailed;
        }
        devices.clear();
        for (const AdapterInfo& adapter : adapters) {
            if (adapter.addresses.empty()) {
                continue;  // nothing to ask from: the system would choose another adapter
            }
            CaptureDevice device;
            device.name = adapter.name;
            for (const AdapterAddress& entry : adapter.addresses) {
                device.ipv4Addresses.push_back(entry.address);
            }
            devices.push_back(std::move(device));
        }
        return kCaptureOk;
    }

    int Open(const std::string& device, const CaptureOptions& options,
             std::unique_ptr<CaptureHandle>& handle, std::string& error) override {
        (void)options;
        std::vector<AdapterInfo> adapters;
        if (GetAdapterList(Net(), adapters) != kNetOk) {
            error = "the adapter list cannot be read";
            return kCaptureFailed;
        }
        const auto found = std::find_if(adapters.begin(), adapters.end(),
                                        [&](const AdapterInfo& a) { return a.name == device; });
        if (found == adapters.end() || found->addresses.empty()) {
            error = "no adapter " + device + " with an IPv4 address";
            return kCaptureFailed;
        }
        handle = std::make_unique<ResolverHandle>(m_resolver, found->addresses.front().address);
        return kCaptureOk;
    }

private:
    NetworkPlatform& Net() const { return m_net != nullptr ? *m_net : Network(); }

    ArpResolver& m_resolver;
    NetworkPlatform* m_net;
};

}  // namespace

std::unique_ptr<PacketCapture> MakeArpResolverCapture(ArpResolver& resolver, NetworkPlatform* net) {
    return std::make_unique<ResolverCapture>(resolver, net);
}

}  // namespace platform
