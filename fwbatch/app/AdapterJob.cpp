#include "fwbatch/app/AdapterJob.h"

#include "common/platform/ThreadStart.h"
#include "fwbatch/adapter/AdapterHelper.h"
#include "fwbatch/adapter/AdapterPreparation.h"

namespace fwbatch {

AdapterJob::AdapterJob(uint64_t jobId, std::vector<PreparedDevice> devices, bool firstAddressMode,
                       adapter::AdapterEnv env, Done done)
    : m_id(jobId),
      m_devices(std::move(devices)),
      m_firstAddressMode(firstAddressMode),
      m_env(std::move(env)),
      m_done(std::move(done)) {
    platform::ThreadStartOptions start;
    start.clock = &m_env.Clock();
    if (platform::StartThread(m_thread, [this](std::stop_token stop) { Run(stop); }, start) || !m_done) {
        return;
    }
    // No thread within the wait: the devices go on unprepared (a device in
    // a foreign subnet then fails to connect), rather than the batch or the
    // web page waiting for a preparation that never runs.
    auto result = std::make_unique<PreparationResult>();
    result->jobId = m_id;
    result->firstAddressMode = m_firstAddressMode;
    result->devices = std::move(m_devices);
    m_done(std::move(result));
}

AdapterJob::~AdapterJob() {
    m_thread.request_stop();
    // jthread joins: at most the probe under way and one wait step.
}

void AdapterJob::Run(const std::stop_token& stop) {
    for (PreparedDevice& d : m_devices) {
        if (stop.stop_requested()) {
            return;
        }
        adapter::PrepareTrace trace;
        const bool added = adapter::PrepareAdapter(d.device, d.addressToUse, d.addressAdded,
                                                   m_firstAddressMode, &trace, m_env);
        d.refusedForRights = adapter::RefusedForRights(trace);
        if (added) {
            // The new address takes a moment to show among the host's.
            for (int test = 0; test < adapter::kAddressWaitTests && !stop.stop_requested();
                 ++test) {
                if (adapter::HostHasAddress(d.addressAdded, m_env)) {
                    break;
                }
                m_env.Clock().SleepMs(adapter::kAddressWaitIntervalMs);
            }
        }
    }
    if (!stop.stop_requested() && m_done) {
        auto result = std::make_unique<PreparationResult>();
        result->jobId = m_id;
        result->firstAddressMode = m_firstAddressMode;
        result->devices = std::move(m_devices);
        m_done(std::move(result));
    }
}

}  // namespace fwbatch
