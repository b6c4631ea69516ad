#pragma once
// Fwbatch's application object: its interface language (Traditional Chinese,
// 1028, for Chinese of Taiwan and Hong Kong; Simplified, 2052, for the PRC;
// English, 2057, for anything else) and its main window, run modally. The
// window owns its workers and waits for them when it closes.

#include <cstdint>

#include "common/platform/Language.h"
#include "strings/StringTable.h"
#include "ui/WindowApp.h"

namespace fwbatch {

class CFwbatchApp : public ui::WindowApp<CFwbatchApp> {
public:
    static constexpr ui::WindowProgramName kProgram{"fwbatch", &platform::FwbatchInterfaceLanguage,
                                                    "org.camprep.Fwbatch"};
    int RunWindow(const strings::StringTable& texts);
};

}  // namespace fwbatch
