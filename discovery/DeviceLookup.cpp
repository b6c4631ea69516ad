#include "discovery/DeviceLookup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/platform/Diagnostics.h"
#include "common/platform/ThreadStart.h"
#include "common/report/RunReport.h"
#include "common/session/SessionResults.h"
#include "discovery/VersionText.h"

namespace discovery {
namespace {

template <size_t N>
void CopyField(char (&field)[N], const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The hex digits of a hardware-address text, upper case.
std::string HexDigits(const char* text) {
    std::string digits;
    for (const char* p = text; *p != '\0'; ++p) {
        if (std::isxdigit(static_cast<unsigned char>(*p))) {
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
        } else if (*p != ':' && *p != '-' && *p != '.') {
            return std::string();  // not a hardware address
        }
    }
    return digits;
}

}  // namespace

std::string DeviceRowKey(const SEARCH_DEVICE_INFO& record, bool addedByAddress) {
    if (addedByAddress && record.mac[0] == '\0') {
        uint32_t address = 0;
        platform::ParseIPv4(std::string(record.ip[0], strnlen(record.ip[0], sizeof record.ip[0])), address);
        char text[16];
        std::snprintf(text, sizeof text, "@%08X%04X", static_cast<unsigned>(address),
                      static_cast<unsigned>(record.dataPort & 0xFFFF));
        return text;
    }
    return SearchedDeviceKey(record.mac, sizeof record.mac);
}

std::string SearchedDeviceKey(const std::string& searchKey) {
    return !searchKey.empty() && searchKey[0] == '@' ? "@" + searchKey : searchKey;
}

std::string SearchKeyOfRow(const std::string& rowKey) {
    return rowKey.rfind("@@", 0) == 0 ? rowKey.substr(1) : rowKey;
}

std::string SearchedDeviceKey(const char* mac, size_t capacity) {
    return SearchedDeviceKey(std::string(mac, strnlen(mac, capacity)));
}

std::unique_ptr<SEARCH_DEVICE_INFO> AddedDeviceRecord(const std::string& host, int32_t port,
                                                      uint32_t softwareVersion, const std::string& mac) {
    auto record = std::make_unique<SEARCH_DEVICE_INFO>();
    std::memset(record.get(), 0, sizeof *record);
    CopyField(record->mac, mac);
    // Both addresses: Fwbatch reaches a device by its second one. No mask:
    // nothing is known of the device's subnet, so no adapter is prepared
    // for it.
    CopyField(record->ip[0], host);
    CopyField(record->ip[1], host);
    record->dataPort = port;
    record->httpPort = 80;
    CopyField(record->softwareVer, SoftwareVersionText(softwareVersion));
    record->build = -1;
    return record;
}

bool SameHardwareAddress(const char* a, const char* b) {
    const std::string x = HexDigits(a);
    return x.size() == 12 && x == HexDigits(b);
}

DeviceLookupJob::DeviceLookupJob(std::vector<std::string> devices, std::string user, std::string password,
                                 DeviceLookupOptions options, Report report, Done done)
    : m_devices(std::move(devices)),
      m_user(std::move(user)),
      m_password(std::move(password)),
      m_options(std::move(options)),
      m_report(std::move(report)),
      m_done(std::move(done)) {
    const size_t count = std::max<size_t>(1, std::min(m_options.parallel, m_devices.size()));
    // One count more than the workers, held while they start: a worker that
    // ends before the others have started is never taken for the last.
    m_running = count + 1;
    platform::ThreadStartOptions start;
    start.clock = m_options.session.clock;
    const size_t started = platform::StartPool(m_threads, count, [this] { Work(); }, start);
    if (started == 0) {
        // The system gave no thread within the wait: no device can be looked up.
        for (size_t i = m_next++; i < m_devices.size(); i = m_next++) {
            DeviceLookupResult result;
            result.device = m_devices[i];
            result.code = session::kLinkFailed;
            m_report(std::move(result));
        }
    }
    if (m_running.fetch_sub(count - started + 1) == count - started + 1 && !m_cancel.Cancelled()) {
        m_done();
    }
}

DeviceLookupJob::~DeviceLookupJob() {
    m_cancel.Cancel();
    for (std::thread& t : m_threads) {
        t.join();
    }
}

void DeviceLookupJob::Work() {
    platform::NetworkPlatform& net = m_options.net != nullptr ? *m_options.net : platform::Network();
    for (size_t i = m_next++; i < m_devices.size() && !m_cancel.Cancelled(); i = m_next++) {
        DeviceLookupResult result;
        result.device = m_devices[i];
        std::string host;
        int32_t port = 0;
        uint32_t version = 0;
        if (!report::ParseDevice(result.device, host, port)) {
            result.code = session::kLinkFailed;
        } else {
            result.code = session::ProbeLogin(host.c_str(), static_cast<uint16_t>(port), m_user.c_str(),
                                              m_password.c_str(), m_options.limits, m_options.connectEnv,
                                              m_options.session, &m_cancel, version);
        }
        if (result.code == session::kOk) {
            uint32_t address = 0;
            platform::ParseIPv4(host, address);
            result.record = AddedDeviceRecord(host, port, version, net.NeighbourMac(address));
        }
        platform::DiagPrintf("device %s by address: %d\n", result.device.c_str(), result.code);
        if (m_cancel.Cancelled()) {
            break;
        }
        m_report(std::move(result));
    }
    if (--m_running == 0 && !m_cancel.Cancelled()) {
        m_done();  // the last worker's last act
    }
}

}  // namespace discovery
