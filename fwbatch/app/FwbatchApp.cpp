#include "fwbatch/app/FwbatchApp.h"

#include "fwbatch/app/FwbatchDlg.h"

namespace fwbatch {

int CFwbatchApp::RunWindow(const strings::StringTable& texts) {
    FwbatchDlgOptions options;
    options.texts = &texts;
    CFwbatchDlg window(std::move(options));
    window.exec();
    // The window's workers have ended when exec returns.
    return 0;
}

}  // namespace fwbatch
