#include "ui/DeviceSearchMessage.h"

#include "discovery/WindowMessages.h"

namespace ui {

void FreeDeviceSearchBlock(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<DeviceSearchBlock*>(lParam);
}

bool PostSearchReport(WindowMailbox& mailbox, discovery::SearchReport report) {
    if (report.type == discovery::SearchReport::Type::Dropped) {
        return false;
    }
    auto block = std::make_unique<DeviceSearchBlock>();
    block->key = std::move(report.key);
    block->record = std::move(report.device);
    block->goneMac = std::move(report.goneMac);
    const uintptr_t kind = report.type == discovery::SearchReport::Type::Device
                               ? winmsg::kDeviceAnswer
                               : winmsg::kDeviceGone;
    return mailbox.Post(winmsg::WM_DEVICE_SEARCH, kind, reinterpret_cast<intptr_t>(block.release()),
                        &FreeDeviceSearchBlock);
}

void TakeDeviceSearch(uintptr_t wParam, intptr_t lParam, const DeviceAnswerHandler& answer,
                      const DeviceGoneHandler& gone) {
    std::unique_ptr<DeviceSearchBlock> block(reinterpret_cast<DeviceSearchBlock*>(lParam));
    if (!block) {
        return;
    }
    if (wParam == winmsg::kDeviceAnswer && block->record) {
        answer(std::move(block->record), block->key);
    } else if (wParam == winmsg::kDeviceGone) {
        gone(std::move(block->goneMac), block->key);
    }
}

}  // namespace ui
