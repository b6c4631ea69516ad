#pragma once
// The AI version query off the window's thread: the checked devices are
// asked one after the other on one worker, which posts each device's
// WM_AI_VERSION_RESULT (wParam 11 or 12, lParam an AiQueryResult the
// receiver owns), WM_AI_COLUMNS_SHOW before the first success's result,
// and WM_AI_QUERY_DONE after the last. Destroying the job ends connection
// attempts under way and joins the worker.

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "common/link/ConnectCancel.h"
#include "fwbatch/engine/AiQuery.h"
#include "ui/WindowMessage.h"

namespace fwbatch {

// Frees the block of a WM_AI_VERSION_RESULT that was never handled.
void FreeAiResultBlock(uintptr_t wParam, intptr_t lParam);

class AiQueryJob {
public:
    AiQueryJob(std::vector<DEVICE_PARAM> entries, AiQueryOptions options,
               std::shared_ptr<ui::WindowMailbox> mailbox);
    ~AiQueryJob();
    AiQueryJob(const AiQueryJob&) = delete;
    AiQueryJob& operator=(const AiQueryJob&) = delete;

private:
    void Run(const std::stop_token& stop);

    const std::vector<DEVICE_PARAM> m_entries;
    const AiQueryOptions m_options;
    const std::shared_ptr<ui::WindowMailbox> m_mailbox;
    ConnectCancel m_cancel;
    std::jthread m_thread;  // started in the constructor, when everything else is set
};

}  // namespace fwbatch
