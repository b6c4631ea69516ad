#pragma once
// One simulated device's shared state: its settings (replaceable while it
// runs), its records and the memory of faults that fire only once. Safe to
// use from any thread; the network side lives in DeviceService.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "sim/DeviceConfig.h"
#include "sim/DeviceRecords.h"
#include "sim/FaultPlan.h"

namespace sim {

class SimDevice {
public:
    SimDevice(size_t index, DeviceConfig config);

    size_t Index() const { return m_index; }
    // The current settings; a connection takes a fresh copy for every message.
    std::shared_ptr<const DeviceConfig> Config() const;
    // Replaces the settings, except where the device listens (address and
    // data port stay), and forgets which once-only faults have fired.
    void SetConfig(DeviceConfig config);
    // A software image was written: the version moves on as the device's
    // behaviour says (versionAfterUpgrade).
    void ApplySoftwareImage();

    RecordBook& Records() { return m_records; }
    const RecordBook& Records() const { return m_records; }

    // The data port actually bound (the configured one, or the one the
    // system chose for 0); 0 before the device listens.
    uint16_t BoundPort() const { return m_boundPort.load(); }
    void SetBoundPort(uint16_t port) { m_boundPort.store(port); }
    // The HTTP port advertised: the ONVIF device service's bound port when
    // it runs, else the configured one.
    uint16_t HttpPort() const;
    void SetBoundHttpPort(uint16_t port) { m_boundHttpPort.store(port); }

    enum class FaultKind { FailUpgrade, DropConnection };
    // True when the fault applies at this percentage now; a once-only fault
    // is then spent until the settings are replaced.
    bool TakeUpgradeFault(FaultKind kind, int percent);
    // The random faults of the next connection accepted, and its number
    // (from 1). The device's generator starts again from its seed whenever
    // the settings are replaced.
    ConnectionFaultPlan PlanConnection(uint64_t& connection);

    // True while the HTTP requests answered so far are fewer than the
    // faults' httpFailFirst (counts this request).
    bool TakeHttpFailure();

private:
    const size_t m_index;
    mutable std::mutex m_lock;  // guards m_config and the fault memory
    std::shared_ptr<const DeviceConfig> m_config;
    uint32_t m_failsTaken = 0;
    uint32_t m_dropsTaken = 0;
    uint32_t m_httpRequests = 0;
    FaultRandom m_faultRandom;
    uint64_t m_connectionsPlanned = 0;
    RecordBook m_records;
    std::atomic<uint16_t> m_boundPort{0};
    std::atomic<uint16_t> m_boundHttpPort{0};
};

}  // namespace sim
