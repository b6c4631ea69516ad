#pragma once
// Who a camera is, read with credentials: GetSystemDateAndTime first (no
// credentials) for the camera's clock, then GetDeviceInformation and
// GetNetworkInterfaces signed with a WS-Security UsernameToken whose
// Created is in the camera's time; when the camera answers HTTP 401, the
// same requests answer its HTTP digest challenge. A job runs this for many
// cameras, a settable number at once, every wait bounded.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "onvif/DeviceSoap.h"
#include "onvif/HttpClient.h"

namespace onvif {

enum IdentifyCode : int {
    kIdentifyOk = 0,
    kIdentifyUnreachable = 1,  // no HTTP answer (connection refused, time-out)
    kIdentifyRefused = 2,      // the credentials were refused
    kIdentifyFault = 3,        // the camera answered with another fault or status
    kIdentifyBadReply = 4,     // an answer that is not what was asked
    kIdentifyNoAddress = 5,    // no device service address to call
    kIdentifyCancelled = 6,
    kIdentifyNoHttp = 7,  // built without an HTTP client
};
const char* IdentifyCodeText(int code);

struct IdentifySettings {
    uint32_t connectTimeoutMs = 3000;
    uint32_t requestTimeoutMs = 6000;
    // The local UTC clock in milliseconds since 1970; null: the system's.
    std::function<int64_t()> utcNowMs;
};

struct DeviceIdentity {
    int code = kIdentifyUnreachable;
    std::string error;  // what went wrong, for people
    std::string url;    // the device service called
    DeviceInformation information;
    std::vector<std::string> macs;  // GetNetworkInterfaces, in its order
    std::string mac;                // the first of them that is a hardware address
    bool clockKnown = false;
    int64_t clockOffsetMs = 0;   // camera minus local
    std::string authentication;  // "UsernameToken" or "HTTP digest"
};

DeviceIdentity IdentifyDevice(HttpClient& http, const std::string& url, const std::string& user,
                              const std::string& password, const IdentifySettings& settings,
                              const std::atomic<bool>* cancel);

struct IdentifyTarget {
    std::string key;  // the caller's name for the device
    std::string url;  // its device service
};

struct IdentifyJobOptions {
    size_t parallel = 8;  // cameras at once
    IdentifySettings settings;
    HttpClientFactory http;  // null: libcurl's
};

// Identifies a list of cameras; each result goes to `report` on a worker
// thread, then `done` once after the last. The destructor (or Cancel)
// stops what still runs and waits for the workers; no report follows it.
class IdentifyJob {
public:
    using Report = std::function<void(const std::string& key, DeviceIdentity identity)>;
    using Done = std::function<void()>;

    IdentifyJob(std::vector<IdentifyTarget> targets, std::string user, std::string password,
                IdentifyJobOptions options, Report report, Done done);
    ~IdentifyJob();
    IdentifyJob(const IdentifyJob&) = delete;
    IdentifyJob& operator=(const IdentifyJob&) = delete;

    void Cancel();

private:
    void Work();

    const std::vector<IdentifyTarget> m_targets;
    const std::string m_user;
    const std::string m_password;
    const IdentifyJobOptions m_options;
    const Report m_report;
    const Done m_done;
    std::atomic<bool> m_cancel{false};
    std::atomic<size_t> m_next{0};
    std::atomic<size_t> m_running{0};
    std::vector<std::thread> m_threads;
};

}  // namespace onvif
