#include "fwbatch/app/FwbatchApp.h"

#include <QApplication>

#include "common/link/SWL_Public.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/Language.h"
#include "fwbatch/app/FwbatchDlg.h"
#include "strings/EmbeddedStrings.h"
#include "ui/QtTexts.h"

namespace fwbatch {

uint16_t CFwbatchApp::InterfaceLanguage(const char* lcAll, const char* lcMessages,
                                        const char* lang) {
    return platform::FwbatchInterfaceLanguage(
        platform::SystemDefaultLanguageId(lcAll, lcMessages, lang));
}

uint16_t CFwbatchApp::InterfaceLanguage() {
    return platform::FwbatchInterfaceLanguage(platform::SystemDefaultLanguageId());
}

const strings::StringTable& CFwbatchApp::Strings(uint16_t languageId) {
    static const strings::StringTable empty;
    const strings::StringTable* table = strings::FindTable("fwbatch", languageId);
    return table != nullptr ? *table : empty;
}

int CFwbatchApp::Run(int& argc, char** argv) {
    // The application object, not the window, owns the socket layer, so
    // that it outlasts every worker. A failed start is not reported: the
    // device link then fails per device.
    if (SWL_Init() != 0) {
        platform::DiagPrintf("socket layer start failed\n");
    }
    const int result = RunWindow(argc, argv);
    SWL_Quit();
    return result;
}

int CFwbatchApp::RunWindow(int& argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fwbatch"));
    const uint16_t language = InterfaceLanguage();
    ui::InstallQtTranslations(language);
    FwbatchDlgOptions options;
    options.texts = &Strings(language);
    CFwbatchDlg window(std::move(options));
    window.exec();
    // The window has shut down when exec returns: its workers have ended,
    // the search is stopped and every device record freed.
    return 0;
}

}  // namespace fwbatch
