#include "cfgpush/app/CfgpushApp.h"

#include "cfgpush/app/CfgpushDlg.h"

namespace cfgpush {

int CCfgpushApp::RunWindow(const strings::StringTable& texts) {
    CfgpushDlgOptions options;
    options.texts = &texts;
    CCfgpushDlg window(m_workers, std::move(options));
    window.exec();
    return 0;
}

void CCfgpushApp::AfterWindow() {
    // Their reports reach nobody now.
    m_workers.CancelAll();
    m_workers.JoinAll();
}

}  // namespace cfgpush
