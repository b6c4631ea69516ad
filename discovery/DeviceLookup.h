#pragma once
// Devices the operator names by address: each is reached and logged in to
// on a worker thread, a few at a time, and what its login tells (and, for a
// device on a directly attached link, its hardware address from the
// neighbour table) comes back as a device record. No Qt here.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/SearchDeviceInfo.h"
#include "common/link/ConnectCancel.h"
#include "common/link/SWL_ConnectProc.h"
#include "common/platform/NetworkPlatform.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/LoginProbe.h"

namespace discovery {

struct DeviceLookupOptions {
    session::LoginProbeLimits limits;
    ConnectProcEnv connectEnv;
    SessionOptions session;
    platform::NetworkPlatform* net = nullptr;  // null: the process's platform
    size_t parallel = 8;                       // devices reached at once
};

struct DeviceLookupResult {
    std::string device;  // "HOST:PORT" as asked
    int code = 0;        // session::kOk or why not (LoginProbe.h)
    std::unique_ptr<SEARCH_DEVICE_INFO> record;  // on kOk
};

// The key that finds a device's row again, for everything that reports into
// it (results, progress, reports): the MAC text of a device the search
// found; for a device added by address whose MAC is unknown, "@" and its
// first address and command port in hex. Whether a row was added by address
// is the row's own state, never read from the MAC text: a MAC text that
// begins with "@" gets a second one here, so it can never be taken for an
// address.
std::string DeviceRowKey(const SEARCH_DEVICE_INFO& record, bool addedByAddress);
// The row key of a device a search found, from its key in the search (its
// MAC text for our own search, its endpoint reference for a camera ONVIF
// found first: discovery::SearchReport::key).
std::string SearchedDeviceKey(const std::string& searchKey);
// The key in the search of a row a search found (the reverse of
// SearchedDeviceKey).
std::string SearchKeyOfRow(const std::string& rowKey);
std::string SearchedDeviceKey(const char* mac, size_t capacity);

// The record of a device reached at host:port: the address, the port, the
// login's software version and the hardware address when known (else an
// empty MAC text).
std::unique_ptr<SEARCH_DEVICE_INFO> AddedDeviceRecord(const std::string& host, int32_t port,
                                                      uint32_t softwareVersion, const std::string& mac);

// Hardware-address texts compared the way people write them: case and the
// separators (":", "-", ".") do not matter.
bool SameHardwareAddress(const char* a, const char* b);

// Runs the lookups of a list of devices; each result is handed to `report`
// on a worker thread, then `done` once after the last one. The destructor
// cancels what still runs and waits for the workers.
class DeviceLookupJob {
public:
    using Report = std::function<void(DeviceLookupResult result)>;
    using Done = std::function<void()>;

    DeviceLookupJob(std::vector<std::string> devices, std::string user, std::string password,
                    DeviceLookupOptions options, Report report, Done done);
    ~DeviceLookupJob();
    DeviceLookupJob(const DeviceLookupJob&) = delete;
    DeviceLookupJob& operator=(const DeviceLookupJob&) = delete;

private:
    void Work();

    const std::vector<std::string> m_devices;
    const std::string m_user;
    const std::string m_password;
    const DeviceLookupOptions m_options;
    const Report m_report;
    const Done m_done;
    ConnectCancel m_cancel;
    std::atomic<size_t> m_next{0};
    std::atomic<size_t> m_running{0};
    std::vector<std::thread> m_threads;
};

}  // namespace discovery
