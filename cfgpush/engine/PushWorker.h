#pragma once
// The push worker: connects to the device (second address, then first),
// reads its greeting, creates the session and sends the payload: by the
// version-3 configuration command without a login, or by logging in and
// the "ImportFacConf" request. It reports one result through its callback,
// as its last act.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cfgpush/engine/PushJob.h"
#include "cfgpush/engine/PushResult.h"
#include "common/link/ConnectCancel.h"
#include "common/link/SWL_ConnectProc.h"

namespace cfgpush {

struct PushTimings {
    uint32_t secondAddressConnectMs = 8000;
    uint32_t secondAddressGreetingMs = 5000;
    uint32_t firstAddressConnectMs = 3000;
    uint32_t firstAddressGreetingMs = 2000;
    uint32_t configReplyWaitMs = 5000;  // version 3
    uint32_t httpReadWaitMs = 5000;     // version 4
    uint32_t loginReplyWaitMs = 20000;  // version 4
};

struct PushOptions {
    PushTimings timings;
    ConnectProcEnv connectEnv;  // tests shorten the connection procedure's limits
    // Reach the device and, on the version-4 path, log in; then stop without
    // sending the configuration. Success means the push would be tried.
    bool dryRun = false;
};

// (row index, result code).
using PushReport = std::function<void(int rowIndex, int result)>;

// Ends the workers' connection attempts early (ConnectCancel.h).
using PushCancel = ConnectCancel;

// Runs one job to its end on the calling thread and reports once.
void RunPushJob(_file_cfg_info job, const PushReport& report, const PushOptions& options = {},
                PushCancel* cancel = nullptr);

// The worker threads of one owner (a window's application, a command). A
// worker holds only its own job and report function, so it may outlive the
// window that started it; the group joins every worker when it is
// destroyed, before the program's statics go away. Every worker ends on its
// own, within its connection and reply limits.
class PushWorkerGroup {
public:
    PushWorkerGroup() = default;
    ~PushWorkerGroup() { JoinAll(); }
    PushWorkerGroup(const PushWorkerGroup&) = delete;
    PushWorkerGroup& operator=(const PushWorkerGroup&) = delete;

    void Start(_file_cfg_info job, PushReport report, PushOptions options = {});
    // Waits for every worker started so far.
    void JoinAll();
    // Ends the workers' connection attempts early (for an owner that is
    // going away); later Starts are not affected.
    void CancelAll();

private:
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    bool m_refused = false;  // the last start got no thread (guarded by m_mutex)
    std::shared_ptr<PushCancel> m_cancel = std::make_shared<PushCancel>();
};

}  // namespace cfgpush
