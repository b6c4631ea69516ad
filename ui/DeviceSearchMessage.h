#pragma once
// WM_DEVICE_SEARCH as the search callback posts it: wParam 0 a device that
// answered, wParam 1 a device that is gone; lParam a DeviceSearchBlock with
// the device's key in the search and the new record, or the 20-byte MAC
// block of a device that is gone (none for an ONVIF camera whose MAC is not
// known). The receiving handler owns the block; a message that is never
// handled frees it with FreeDeviceSearchBlock.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "discovery/SearchAnswer.h"
#include "ui/WindowMessage.h"

namespace ui {

struct DeviceSearchBlock {
    std::string key;  // discovery::SearchReport::key
    std::unique_ptr<SEARCH_DEVICE_INFO> record;
    std::unique_ptr<char[]> goneMac;
};

void FreeDeviceSearchBlock(uintptr_t wParam, intptr_t lParam);

// Posts what the parser made of one search report (nothing for a dropped
// one). False when nothing was posted.
bool PostSearchReport(WindowMailbox& mailbox, discovery::SearchReport report);

// The receiving side: hands a WM_DEVICE_SEARCH's block to the window's
// handler for it, which owns it from then on. Other wParams and null
// blocks are ignored.
using DeviceAnswerHandler =
    std::function<void(std::unique_ptr<SEARCH_DEVICE_INFO> record, const std::string& key)>;
using DeviceGoneHandler =
    std::function<void(std::unique_ptr<char[]> macBlock, const std::string& key)>;
void TakeDeviceSearch(uintptr_t wParam, intptr_t lParam, const DeviceAnswerHandler& answer,
                      const DeviceGoneHandler& gone);

}  // namespace ui
