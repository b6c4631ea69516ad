#pragma once
// Adapter preparation off the window's thread: for each device, prepare an
// adapter and, when an address was added, wait (up to 80 x 100 ms) until
// the host has it. The probes and the wait can take seconds per device, so
// a worker runs them and reports once, when every device is done. The job
// stops early when it is destroyed (the window closing) and joins its
// worker then.

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "discovery/SearchDeviceInfo.h"
#include "fwbatch/adapter/AdapterEnv.h"

namespace fwbatch {

// One device to prepare, with what preparation found.
struct PreparedDevice {
    int32_t index = 0;  // the device's row when the operator asked
    SEARCH_DEVICE_INFO device{};
    std::string key;                // the row's key (ui::DeviceTable::Key)
    uint32_t addressToUse = 0;      // network byte order
    uint32_t addressAdded = 0;      // 0: none
    bool refusedForRights = false;  // an address was needed that this user may not add
};

struct PreparationResult {
    uint64_t jobId = 0;
    bool firstAddressMode = false;
    std::vector<PreparedDevice> devices;
};

class AdapterJob {
public:
    // Called once on the worker's thread, unless the job was stopped first;
    // in the constructor, with the devices unprepared, when the system gave
    // the job no thread.
    using Done = std::function<void(std::unique_ptr<PreparationResult>)>;

    AdapterJob(uint64_t jobId, std::vector<PreparedDevice> devices, bool firstAddressMode,
               adapter::AdapterEnv env, Done done);
    ~AdapterJob();
    AdapterJob(const AdapterJob&) = delete;
    AdapterJob& operator=(const AdapterJob&) = delete;

    uint64_t Id() const { return m_id; }

private:
    void Run(const std::stop_token& stop);

    const uint64_t m_id;
    std::vector<PreparedDevice> m_devices;
    const bool m_firstAddressMode;
    const adapter::AdapterEnv m_env;
    const Done m_done;
    std::jthread m_thread;  // started in the constructor, when everything else is set
};

}  // namespace fwbatch
