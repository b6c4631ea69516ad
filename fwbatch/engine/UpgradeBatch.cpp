#include "fwbatch/engine/UpgradeBatch.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "common/platform/NetworkPlatform.h"
#include "common/platform/ThreadStart.h"
#include "fwbatch/engine/UpgradeResult.h"

namespace fwbatch {

std::unique_ptr<_update_Info> MakeUpdateRecord(int32_t index, const SEARCH_DEVICE_INFO& device) {
    auto record = std::make_unique<_update_Info>();
    record->index = index;
    const bool firstAddress = std::strncmp(device.softwareVer, "3.3", 3) == 0;
    const char* address = firstAddress ? device.ip[0] : device.ip[1];
    uint32_t value = 0;
    if (platform::ParseIPv4(std::string(address, strnlen(address, sizeof device.ip[0])), value)) {
        record->address = value;
    }
    record->commandPort = static_cast<uint32_t>(device.dataPort);
    record->httpPort = static_cast<uint32_t>(device.httpPort);
    std::memcpy(record->deviceKey, device.mac, sizeof record->deviceKey);
    return record;
}

UpgradeBatch::UpgradeBatch(std::shared_ptr<const UpgradeSettings> settings, UpgradeProgress progress,
                           UpgradeResultReport result, UpgradeOptions options)
    : m_settings(std::move(settings)),
      m_progress(std::move(progress)),
      m_result(std::move(result)),
      m_options(std::move(options)) {}

UpgradeBatch::~UpgradeBatch() {
    Join();
}

void UpgradeBatch::Add(std::unique_ptr<_update_Info> record) {
    m_records.push_back(std::move(record));
}

void UpgradeBatch::Start(size_t maxParallel) {
    const size_t lanes = std::min({std::max<size_t>(maxParallel, 1), kMaxParallel, m_records.size()});
    std::lock_guard<std::mutex> lock(m_threadsMutex);
    platform::ThreadStartOptions start;
    start.clock = m_options.session.clock;
    if (lanes == 0 || platform::StartPool(m_threads, lanes, [this] { Lane(); }, start) != 0) {
        return;
    }
    // The system gave no worker thread within the wait: every device ends
    // with a failure, never silence (the batch would never end) nor a crash.
    for (const auto& record : m_records) {
        UpgradeReport report;
        report.code = kUpgradeFailed;
        if (m_result) {
            m_result(record->index, report);
        }
    }
}

void UpgradeBatch::Lane() {
    for (;;) {
        if (m_stopStarting.load()) {
            return;
        }
        const size_t next = m_next.fetch_add(1);
        if (next >= m_records.size()) {
            return;
        }
        RunRecord(*m_records[next]);
    }
}

void UpgradeBatch::RunRecord(_update_Info& record) {
    const auto start = std::chrono::steady_clock::now();
    UpgradeOutcome outcome;
    if (record.commandPort == 0 || record.httpPort == 0) {
        outcome.code = kUpgradeWrongPort;
        outcome.attempts = 1;
    } else {
        const std::string address = platform::FormatIPv4(record.address);
        outcome = UpgradeDevice(address.c_str(), static_cast<uint16_t>(record.commandPort & 0xFFFF),
                                record.index, *m_settings, record.finishing, m_progress, m_options,
                                &m_cancel);
    }
    UpgradeReport report;
    report.code = outcome.code;
    report.attempts = outcome.attempts;
    report.versionBefore = outcome.versionBefore;
    report.versionAfter = outcome.versionAfter;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (m_maxFailPercent >= 0) {
        std::lock_guard<std::mutex> lock(m_countMutex);
        ++m_finished;
        m_failed += report.code != kUpgradeSuccess ? 1 : 0;
        if (m_failed * 100 > static_cast<size_t>(m_maxFailPercent) * m_finished) {
            m_stoppedByFailures.store(true);
            m_stopStarting.store(true);  // before the result is told, so no device starts after it
        }
    }
    if (m_result) {
        m_result(record.index, report);
    }
}

bool UpgradeBatch::MarkDone(int index) {
    for (auto& record : m_records) {
        if (record->index == index) {
            record->done = true;
        }
    }
    return Complete();
}

bool UpgradeBatch::Complete() const {
    return std::all_of(m_records.begin(), m_records.end(),
                       [](const auto& record) { return record->done; });
}

void UpgradeBatch::Cancel() {
    m_cancel.Cancel();
}

void UpgradeBatch::Join() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_threadsMutex);
        threads.swap(m_threads);
    }
    for (std::thread& t : threads) {
        if (t.joinable()) {
            t.join();
        }
    }
}

}  // namespace fwbatch
