#include "ui/DeviceSearchMessage.h"

#include "discovery/WindowMessages.h"

namespace ui {

void FreeDeviceSearchBlock(uintptr_t wParam, intptr_t lParam) {
    if (wParam == winmsg::kDeviceAnswer) {
        delete reinterpret_cast<SEARCH_DEVICE_INFO*>(lParam);
    } else if (wParam == winmsg::kDeviceGone) {
        delete[] reinterpret_cast<char*>(lParam);
    }
}

bool PostSearchReport(WindowMailbox& mailbox, discovery::SearchReport report) {
    switch (report.type) {
        case discovery::SearchReport::Type::Device:
            return mailbox.Post(winmsg::WM_DEVICE_SEARCH, winmsg::kDeviceAnswer,
                                reinterpret_cast<intptr_t>(report.device.release()),
                                &FreeDeviceSearchBlock);
        case discovery::SearchReport::Type::Gone:
            return mailbox.Post(winmsg::WM_DEVICE_SEARCH, winmsg::kDeviceGone,
                                reinterpret_cast<intptr_t>(report.goneMac.release()),
                                &FreeDeviceSearchBlock);
        case discovery::SearchReport::Type::Dropped:
            break;
    }
    return false;
}

void TakeDeviceSearch(uintptr_t wParam, intptr_t lParam, const DeviceAnswerHandler& answer,
                      const DeviceGoneHandler& gone) {
    if (wParam == winmsg::kDeviceAnswer) {
        std::unique_ptr<SEARCH_DEVICE_INFO> record(reinterpret_cast<SEARCH_DEVICE_INFO*>(lParam));
        if (record) {
            answer(std::move(record));
        }
    } else if (wParam == winmsg::kDeviceGone) {
        std::unique_ptr<char[]> mac(reinterpret_cast<char*>(lParam));
        if (mac) {
            gone(std::move(mac));
        }
    }
}

}  // namespace ui
