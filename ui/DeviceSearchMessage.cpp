#include "ui/DeviceSearchMessage.h"

#include "common/discovery/WindowMessages.h"

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

}  // namespace ui
