// PacketCapture through libpcap. Every pcap_t and device list is owned by a
// unique_ptr from the moment libpcap hands it over, so each is closed or
// freed on every path.
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/platform/Diagnostics.h"
#include "common/platform/PacketCapture.h"

namespace platform {
namespace {

struct PcapClose {
    void operator()(pcap_t* pcap) const { pcap_close(pcap); }
};
using PcapPtr = std::unique_ptr<pcap_t, PcapClose>;

struct DeviceListFree {
    void operator()(pcap_if_t* list) const { pcap_freealldevs(list); }
};
using DeviceListPtr = std::unique_ptr<pcap_if_t, DeviceListFree>;

// The capture runs in non-blocking mode and Next waits with poll: on Linux
// libpcap's read time-out does not end a read while no frame arrives, and
// every wait here must have a limit.
class LibpcapHandle : public CaptureHandle {
public:
    LibpcapHandle(PcapPtr pcap, int readTimeoutMs)
        : m_pcap(std::move(pcap)), m_readTimeoutMs(readTimeoutMs) {}

    bool Send(const uint8_t* frame, size_t length) override {
        if (pcap_sendpacket(m_pcap.get(), frame, static_cast<int>(length)) != 0) {
            DiagPrintf("pcap_sendpacket failed: %s\n", pcap_geterr(m_pcap.get()));
            return false;
        }
        return true;
    }

    int Next(const uint8_t*& frame, size_t& length) override {
        int rc = Read(frame, length);
        if (rc != 0) {
            return rc;
        }
        pollfd watch{};
        watch.fd = pcap_get_selectable_fd(m_pcap.get());
        watch.events = POLLIN;
        const int ready = poll(&watch, 1, m_readTimeoutMs);
        if (ready < 0 && errno != EINTR) {
            return -1;
        }
        return ready > 0 ? Read(frame, length) : 0;
    }

private:
    int Read(const uint8_t*& frame, size_t& length) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int rc = pcap_next_ex(m_pcap.get(), &header, &data);
        if (rc == 1) {
            frame = data;
            length = header->caplen;
            return 1;
        }
        return rc == 0 ? 0 : -1;
    }

    PcapPtr m_pcap;
    int m_readTimeoutMs;
};

class LibpcapCapture : public PacketCapture {
public:
    int FindAllDevices(std::vector<CaptureDevice>& devices, std::string& error) override {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap_if_t* raw = nullptr;
        if (pcap_findalldevs(&raw, errbuf) != 0) {
            error = errbuf;
            return kCaptureFailed;
        }
        const DeviceListPtr list(raw);
        devices.clear();
        for (const pcap_if_t* it = list.get(); it != nullptr; it = it->next) {
            CaptureDevice device;
            device.name = it->name != nullptr ? it->name : "";
            for (const pcap_addr_t* a = it->addresses; a != nullptr; a = a->next) {
                if (a->addr != nullptr && a->addr->sa_family == AF_INET) {
                    sockaddr_in in{};
                    std::memcpy(&in, a->addr, sizeof in);
                    device.ipv4Addresses.push_back(in.sin_addr.s_addr);
                }
            }
            devices.push_back(std::move(device));
        }
        return kCaptureOk;
    }

    // pcap_open_live's steps, taken one by one: pcap_activate tells a
    // refusal for lack of privilege apart from other failures, which the
    // callers report differently.
    int Open(const std::string& device, const CaptureOptions& options,
             std::unique_ptr<CaptureHandle>& handle, std::string& error) override {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        PcapPtr pcap(pcap_create(device.c_str(), errbuf));
        if (!pcap) {
            error = errbuf;
            return kCaptureFailed;
        }
        pcap_set_snaplen(pcap.get(), options.snapLength);
        pcap_set_promisc(pcap.get(), options.promiscuous ? 1 : 0);
        pcap_set_timeout(pcap.get(), options.readTimeoutMs);
        // Frames are handed over as they come, not when a buffer block fills.
        pcap_set_immediate_mode(pcap.get(), 1);
        const int rc = pcap_activate(pcap.get());
        if (rc < 0) {
            const char* text = pcap_geterr(pcap.get());
            error = text != nullptr && text[0] != '\0' ? text : pcap_statustostr(rc);
            const bool denied =
                rc == PCAP_ERROR_PERM_DENIED || rc == PCAP_ERROR_PROMISC_PERM_DENIED;
            return denied ? kCapturePermissionDenied : kCaptureFailed;
        }
        if (options.arpOnly) {
            bpf_program program{};
            if (pcap_compile(pcap.get(), &program, "arp", 1, PCAP_NETMASK_UNKNOWN) == 0) {
                if (pcap_setfilter(pcap.get(), &program) != 0) {
                    DiagPrintf("pcap_setfilter on %s: %s\n", device.c_str(),
                               pcap_geterr(pcap.get()));
                }
                pcap_freecode(&program);
            }
        }
        if (pcap_setnonblock(pcap.get(), 1, errbuf) != 0 ||
            pcap_get_selectable_fd(pcap.get()) < 0) {
            error = errbuf[0] != '\0' ? errbuf : "no selectable descriptor";
            return kCaptureFailed;
        }
        handle = std::make_unique<LibpcapHandle>(std::move(pcap), options.readTimeoutMs);
        return kCaptureOk;
    }
};

}  // namespace

PacketCapture& SystemCapture() {
    static LibpcapCapture system;
    return system;
}

}  // namespace platform
