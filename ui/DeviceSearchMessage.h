#pragma once
// WM_DEVICE_SEARCH as the search callback posts it: wParam 0 carries a new
// SEARCH_DEVICE_INFO, wParam 1 the 20-byte MAC block of a device that is
// gone. The receiving handler owns the block; a message that is never
// handled frees it with FreeDeviceSearchBlock.

#include <cstdint>

#include "common/discovery/SearchAnswer.h"
#include "ui/WindowMessage.h"

namespace ui {

void FreeDeviceSearchBlock(uintptr_t wParam, intptr_t lParam);

// Posts what the parser made of one search report (nothing for a dropped
// one). False when nothing was posted.
bool PostSearchReport(WindowMailbox& mailbox, discovery::SearchReport report);

}  // namespace ui
