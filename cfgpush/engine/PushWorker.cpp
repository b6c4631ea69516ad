#include "cfgpush/engine/PushWorker.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "common/link/SWL_Public.h"
#include "common/link/SWL_TCPLink.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/ThreadStart.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/DeviceGreeting.h"
#include "common/session/ReachDevice.h"
#include "common/session/SessionResults.h"

namespace cfgpush {
namespace {

int IgnoreEvents(void*, CNetDevice*, int, int, const void*, uint32_t) {
    return 0;
}

int Push(_file_cfg_info& job, const PushOptions& options, PushCancel* cancel) {
    const auto port = static_cast<uint16_t>(job.dataPort & 0xFFFF);
    const PushTimings& t = options.timings;
    // Cfgpush's own variant of the connection procedure, whatever else the
    // caller's environment changes.
    ConnectProcEnv env = options.connectEnv;
    env.variant = ConnectVariant::Cfgpush;
    uint8_t greeting[DeviceGreeting::kSize] = {};
    TcpLinkPtr link = ReachDevice(job.secondAddress, port, t.secondAddressConnectMs,
                                  t.secondAddressGreetingMs, env, cancel, greeting);
    if (!link) {
        link = ReachDevice(job.firstAddress, port, t.firstAddressConnectMs, t.firstAddressGreetingMs, env,
                           cancel, greeting);
    }
    if (!link || (cancel != nullptr && cancel->Cancelled())) {
        return kPushDisconnected;
    }
    SessionOptions sessionOptions;
    sessionOptions.logLoginLine = true;
    sessionOptions.configReplyWaitMs = t.configReplyWaitMs;
    sessionOptions.httpReadWaitMs = t.httpReadWaitMs;
    sessionOptions.loginReplyWaitMs = t.loginReplyWaitMs;
    int error = 0;
    std::unique_ptr<CNetDVSDevice, NetDeviceReleaser> session;
    // Cancelling breaks the live link; the guard ends before the session.
    const CancelLinkGuard guard(cancel, link.get());
    session.reset(CreateNetDevice(link, greeting, &IgnoreEvents, nullptr, error, sessionOptions));
    if (!session) {
        platform::DiagPrintf("push %s: no session (%d)\n", job.mac, error);
        return job.version3 ? kPushVersion3Failed : kPushVersion4Failed;
    }
    const auto length = static_cast<uint32_t>(job.payload.size());
    if (options.dryRun && job.version3) {
        return kPushSuccess;  // the version-3 command needs no login: reached is all there is to know
    }
    if (job.version3) {
        uint32_t value = 0;
        return session->SendConfigCommand(job.payload.data(), length, value) == session::kOk
                   ? kPushSuccess
                   : kPushDisconnected;
    }
    NET_DEVICE_INFO info;
    if (session->Login(job.userName.c_str(), job.password.c_str(), info) != session::kOk) {
        return kPushVersion4Failed;
    }
    if (options.dryRun) {
        return kPushSuccess;
    }
    return session->ImportFacConf(job.payload.data(), length) == 200 ? kPushSuccess
                                                                     : kPushVersion4Failed;
}

}  // namespace

void RunPushJob(_file_cfg_info job, const PushReport& report, const PushOptions& options,
                PushCancel* cancel) {
    const int result =
        Push(job, options, cancel);  // connection, session and link are released here
    const int row = job.rowIndex;
    job.payload.clear();
    job.payload.shrink_to_fit();
    if (report) {
        report(row, result);
    }
}

void PushWorkerGroup::Start(_file_cfg_info job, PushReport report, PushOptions options) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int row = job.rowIndex;
    platform::ThreadStartOptions start;
    start.clock = options.connectEnv.clock;
    if (m_refused) {
        start.limitMs = 0;  // the last start waited in vain: one try, no second wait per device
    }
    std::thread worker;
    if (!platform::StartThread(
            worker,
            [job = std::move(job), report, options = std::move(options), cancel = m_cancel]() mutable {
                RunPushJob(std::move(job), report, options, cancel.get());
            },
            start)) {
        // The system gave no thread within the wait: the device's push
        // fails, and the push still ends.
        m_refused = true;
        if (report) {
            report(row, kPushWorkerNotStarted);
        }
        return;
    }
    m_refused = false;
    m_threads.push_back(std::move(worker));
}

void PushWorkerGroup::CancelAll() {
    std::shared_ptr<PushCancel> cancel;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        cancel = std::exchange(m_cancel, std::make_shared<PushCancel>());
    }
    cancel->Cancel();
}

void PushWorkerGroup::JoinAll() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    for (std::thread& t : threads) {
        if (t.joinable()) {
            t.join();
        }
    }
}

}  // namespace cfgpush
