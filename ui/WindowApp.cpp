#include "ui/WindowApp.h"

#include <QApplication>
#include <QIcon>

#include "common/link/SWL_Public.h"
#include "common/platform/Diagnostics.h"
#include "strings/EmbeddedStrings.h"
#include "ui/QtTexts.h"

namespace ui {

int RunWindowProgram(int& argc, char** argv, const WindowProgramName& program, uint16_t languageId,
                     const std::function<int()>& runWindow,
                     const std::function<void()>& afterWindow) {
    // The application object, not the window, owns the socket layer: workers
    // still running when the window closes use it until they are joined. A
    // failed start is not reported: the device link then fails per device.
    if (SWL_Init() != 0) {
        platform::DiagPrintf("socket layer start failed\n");
    }
    int result = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QString::fromLatin1(program.name));
        // The desktop's menu entry and icon, when the program is installed.
        const QString desktopId = QString::fromLatin1(program.desktopId);
        QGuiApplication::setDesktopFileName(desktopId);
        QApplication::setWindowIcon(QIcon::fromTheme(desktopId));
        InstallQtTranslations(languageId);
        // The window has shut down when this returns: the search is stopped
        // and every device record freed.
        result = runWindow();
    }
    afterWindow();
    SWL_Quit();
    return result;
}

const strings::StringTable& ProgramStrings(const char* program, uint16_t languageId) {
    static const strings::StringTable empty;
    const strings::StringTable* table = strings::FindTable(program, languageId);
    return table != nullptr ? *table : empty;
}

}  // namespace ui
