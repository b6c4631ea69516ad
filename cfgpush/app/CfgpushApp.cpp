#include "cfgpush/app/CfgpushApp.h"

#include <QApplication>

#include "cfgpush/app/CfgpushDlg.h"
#include "common/link/SWL_Public.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/Language.h"
#include "strings/EmbeddedStrings.h"
#include "ui/QtTexts.h"

namespace cfgpush {

uint16_t CCfgpushApp::InterfaceLanguage(const char* lcAll, const char* lcMessages,
                                        const char* lang) {
    return platform::CfgpushInterfaceLanguage(
        platform::SystemDefaultLanguageId(lcAll, lcMessages, lang));
}

uint16_t CCfgpushApp::InterfaceLanguage() {
    return platform::CfgpushInterfaceLanguage(platform::SystemDefaultLanguageId());
}

const strings::StringTable& CCfgpushApp::Strings(uint16_t languageId) {
    static const strings::StringTable empty;
    const strings::StringTable* table = strings::FindTable("cfgpush", languageId);
    return table != nullptr ? *table : empty;
}

int CCfgpushApp::Run(int& argc, char** argv) {
    // The socket layer lives as long as the program, not the window: push
    // workers still running when the window closes use it until they are
    // joined. A failed start is not reported: the device link then fails
    // per device.
    if (SWL_Init() != 0) {
        platform::DiagPrintf("socket layer start failed\n");
    }
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("cfgpush"));
        const uint16_t language = InterfaceLanguage();
        ui::InstallQtTranslations(language);
        CfgpushDlgOptions options;
        options.texts = &Strings(language);
        CCfgpushDlg window(m_workers, std::move(options));
        window.exec();
        // The window has shut down when exec returns: the search is
        // stopped and every device record freed.
    }
    // Workers still connecting give up now: their reports reach nobody.
    m_workers.CancelAll();
    m_workers.JoinAll();
    SWL_Quit();
    return 0;
}

}  // namespace cfgpush
