#pragma once
// Fwbatch's posted window messages beyond the shared ones
// (discovery/WindowMessages.h): what its AI query and adapter
// preparation workers report. Like the others they are only posted.

#include <cstdint>

#include "discovery/WindowMessages.h"

namespace fwbatch::msg {

// The AI query had its first success: show the AI columns.
constexpr uint32_t WM_AI_COLUMNS_SHOW = winmsg::WM_USER + 1006;
// The AI query worker has posted its last result.
constexpr uint32_t WM_AI_QUERY_DONE = winmsg::WM_USER + 1007;
// Adapter preparation is over; lParam is a PreparationResult (AdapterJob.h),
// owned by the receiver.
constexpr uint32_t WM_ADAPTERS_PREPARED = winmsg::WM_USER + 1008;
// What a device's upgrade found besides its result code, posted just before
// its result; wParam is the batch index, lParam an UpgradeVersions owned by
// the receiver.
constexpr uint32_t WM_UPGRADE_VERSIONS = winmsg::WM_USER + 1009;

struct UpgradeVersions {
    uint32_t before = 0;  // four parts, the first in the top byte; 0 unknown
    uint32_t after = 0;
    int attempts = 0;
    double seconds = 0;
};

}  // namespace fwbatch::msg
