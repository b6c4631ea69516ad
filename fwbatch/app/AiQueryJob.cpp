#include "fwbatch/app/AiQueryJob.h"

#include "common/platform/ThreadStart.h"
#include "fwbatch/app/FwbatchMessages.h"

namespace fwbatch {

void FreeAiResultBlock(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<AiQueryResult*>(lParam);
}

AiQueryJob::AiQueryJob(std::vector<DEVICE_PARAM> entries, AiQueryOptions options,
                       std::shared_ptr<ui::WindowMailbox> mailbox)
    : m_entries(std::move(entries)),
      m_options(std::move(options)),
      m_mailbox(std::move(mailbox)) {
    platform::ThreadStartOptions start;
    start.clock = m_options.session.clock;
    if (platform::StartThread(m_thread, [this](std::stop_token stop) { Run(stop); }, start)) {
        return;
    }
    // The system gave no thread within the wait: every device's query
    // failed, and the query ends as it always does.
    for (const DEVICE_PARAM& entry : m_entries) {
        auto result = std::make_unique<AiQueryResult>();
        result->deviceKey = entry.deviceKey;
        m_mailbox->Post(winmsg::WM_AI_VERSION_RESULT, static_cast<uintptr_t>(result->code),
                        reinterpret_cast<intptr_t>(result.release()), &FreeAiResultBlock);
    }
    m_mailbox->Post(msg::WM_AI_QUERY_DONE, 0, 0);
}

AiQueryJob::~AiQueryJob() {
    m_thread.request_stop();
    m_cancel.Cancel();
}

void AiQueryJob::Run(const std::stop_token& stop) {
    bool shown = false;
    for (const DEVICE_PARAM& entry : m_entries) {
        if (stop.stop_requested()) {
            return;
        }
        auto result = std::make_unique<AiQueryResult>(RunAiQuery(entry, m_options, &m_cancel));
        if (result->code == kAiVersionsReceived && !shown) {
            shown = true;
            m_mailbox->Post(msg::WM_AI_COLUMNS_SHOW, 0, 0);
        }
        const auto code = static_cast<uintptr_t>(result->code);
        m_mailbox->Post(winmsg::WM_AI_VERSION_RESULT, code,
                        reinterpret_cast<intptr_t>(result.release()), &FreeAiResultBlock);
    }
    m_mailbox->Post(msg::WM_AI_QUERY_DONE, 0, 0);
}

}  // namespace fwbatch
