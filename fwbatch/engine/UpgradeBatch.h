#pragma once
// A batch of upgrades: one record per device, one worker per record (at
// most 32 at once), exactly one result per device, and the batch complete
// when every device has reported. The batch owns the package, the type and
// the credentials for its whole life (workers only read them) and joins
// every worker before it is destroyed. Used by the window and by camprep.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/link/ConnectCancel.h"
#include "discovery/SearchDeviceInfo.h"
#include "fwbatch/engine/UpgradeWorker.h"

namespace fwbatch {

// One device of a batch.
struct _update_Info {
    int32_t index = 0;         // identifies the device in every report (the window: its row)
    uint32_t address = 0;      // network byte order: where the worker connects
    uint32_t commandPort = 0;  // the device's dataPort
    char deviceKey[20] = {};   // the first 20 bytes of the device's MAC text
    uint32_t httpPort = 0;     // only tested for being non-zero
    bool done = false;         // the owner's thread only: the result has arrived
    // Set by the worker once the device reported 98 percent; kept per
    // device, so rows that move or lie past any table size read their own.
    std::atomic<bool> finishing{false};
};

// The record for a device found by the search: the first address for a
// software version beginning "3.3", otherwise the second.
std::unique_ptr<_update_Info> MakeUpdateRecord(int32_t index, const SEARCH_DEVICE_INFO& device);

// What a device's result brings along.
struct UpgradeReport {
    int code = -1;
    int attempts = 0;
    uint32_t versionBefore = 0;  // the login's software version; 0 unknown
    uint32_t versionAfter = 0;   // the version it came back with when verified; 0 otherwise
    double seconds = 0;  // wall time from the worker's start to its result
};

using UpgradeResultReport = std::function<void(int index, const UpgradeReport& report)>;

class UpgradeBatch {
public:
    static constexpr size_t kMaxParallel = 32;

    // progress and result are called on the workers' threads.
    UpgradeBatch(std::shared_ptr<const UpgradeSettings> settings, UpgradeProgress progress,
                 UpgradeResultReport result, UpgradeOptions options = {});
    // Joins every worker (each ends within its own limits).
    ~UpgradeBatch();
    UpgradeBatch(const UpgradeBatch&) = delete;
    UpgradeBatch& operator=(const UpgradeBatch&) = delete;

    // Records are added before Start.
    void Add(std::unique_ptr<_update_Info> record);
    size_t Size() const { return m_records.size(); }
    const _update_Info& Record(size_t i) const { return *m_records[i]; }

    // A rollout limit, set before Start: once more than `percent` of the
    // finished devices failed, no further device is started (the running
    // ones finish); -1, the default, sets none. Checked by each worker
    // before it takes its next device, so none starts after the limit.
    void SetMaxFailPercent(int percent) { m_maxFailPercent = percent; }
    bool StoppedByFailures() const { return m_stoppedByFailures.load(); }

    // Starts min(maxParallel, records) workers (maxParallel 1..32); each
    // takes the next record not yet started until none is left, so at most
    // maxParallel devices are upgraded at once. Once only.
    void Start(size_t maxParallel = kMaxParallel);

    // On the owner's thread, when a result arrives: marks done every record
    // with this index; true when every record is done.
    bool MarkDone(int index);
    bool Complete() const;

    // Ends connection attempts and transfers early (an owner going away).
    void Cancel();
    // No record not yet started is started any more; running ones go on
    // (an operator's interruption). Records never started never report.
    void StopStarting() { m_stopStarting.store(true); }
    // Waits for every worker.
    void Join();

private:
    void Lane();
    void RunRecord(_update_Info& record);

    const std::shared_ptr<const UpgradeSettings> m_settings;
    const UpgradeProgress m_progress;
    const UpgradeResultReport m_result;
    const UpgradeOptions m_options;
    std::vector<std::unique_ptr<_update_Info>> m_records;
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_stopStarting{false};
    int m_maxFailPercent = -1;
    std::mutex m_countMutex;
    size_t m_finished = 0;  // guarded by m_countMutex
    size_t m_failed = 0;    // guarded by m_countMutex
    std::atomic<bool> m_stoppedByFailures{false};
    ConnectCancel m_cancel;
    std::mutex m_threadsMutex;
    std::vector<std::thread> m_threads;
};

}  // namespace fwbatch
