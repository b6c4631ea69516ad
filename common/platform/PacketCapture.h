#pragma once
// Raw Ethernet frames in and out of an interface: the few packet-capture
// calls adapter preparation (fwbatch/adapter/) makes, behind an interface so
// that tests can stand in for the capture library. SystemCapture() is
// libpcap on Linux and SendARP on Windows (ArpResolverCapture.h), in their
// own library (camprep_capture) so that only the programs that capture link
// them.
//
// Capture devices and adapters are matched by interface name: libpcap names
// a device after its interface ("eth0"), and so does the Windows capture;
// a Windows capture library's "\Device\NPF_{GUID}" matches the adapter
// "{GUID}" (CaptureDeviceIsAdapter).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Results of FindAllDevices and Open.
enum CaptureResult : int {
    kCaptureOk = 0,
    kCaptureFailed = 1,
    kCapturePermissionDenied = 2,  // the process may not capture (no CAP_NET_RAW)
};

struct CaptureDevice {
    std::string name;
    std::vector<uint32_t> ipv4Addresses;  // network byte order
};

struct CaptureOptions {
    int snapLength = 100;
    bool promiscuous = false;
    int readTimeoutMs = 500;
    // Let only ARP frames through, so that other traffic on a busy
    // interface does not use up the reads the probes allow themselves.
    bool arpOnly = true;
};

// One open capture; closed when destroyed.
class CaptureHandle {
public:
    virtual ~CaptureHandle() = default;
    virtual bool Send(const uint8_t* frame, size_t length) = 0;
    // Waits at most the read time-out given at open. 1: frame/length hold a
    // captured frame, valid until the next call;
    // 0: the read time-out passed without one; negative: the capture failed
    // or will deliver no more frames.
    virtual int Next(const uint8_t*& frame, size_t& length) = 0;
};

class PacketCapture {
public:
    virtual ~PacketCapture() = default;
    // Every capture device, in the library's order. A CaptureResult; error
    // says why on failure.
    virtual int FindAllDevices(std::vector<CaptureDevice>& devices, std::string& error) = 0;
    // Opens a live capture on device; a CaptureResult (handle set on success).
    virtual int Open(const std::string& device, const CaptureOptions& options,
                     std::unique_ptr<CaptureHandle>& handle, std::string& error) = 0;
};

// The capture library of the system (libpcap; SendARP on Windows).
PacketCapture& SystemCapture();

// True when a capture device's name names the adapter: the same name, or
// the same "{...}" part (the last "{" to the last "}") of both.
bool CaptureDeviceIsAdapter(const std::string& deviceName, const std::string& adapterName);

}  // namespace platform
