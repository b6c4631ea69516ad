#pragma once
// Cfgpush's application object: its interface language (Simplified Chinese,
// 2052, when the system's is Chinese of Taiwan, the PRC or Hong Kong,
// English, 2057, otherwise) and its main window, run modally. It keeps the
// push workers' group, which must outlive the window: a worker still running
// when the window closes finishes on its own (its report then goes nowhere)
// and is joined before the program ends.

#include <cstdint>

#include "cfgpush/engine/PushWorker.h"
#include "common/platform/Language.h"
#include "strings/StringTable.h"
#include "ui/WindowApp.h"

namespace cfgpush {

class CCfgpushApp : public ui::WindowApp<CCfgpushApp> {
public:
    static constexpr ui::WindowProgramName kProgram{"cfgpush", &platform::CfgpushInterfaceLanguage,
                                                    "org.camprep.Cfgpush"};
    int RunWindow(const strings::StringTable& texts);
    // Workers still connecting give up; every worker is joined.
    void AfterWindow();

private:
    PushWorkerGroup m_workers;
};

}  // namespace cfgpush
