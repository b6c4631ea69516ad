#pragma once
// The application object's frame, the same for both programs: the interface
// language from the system's, the program's string table in it, and the
// run. The socket layer starts before the window and stops after the
// window and every worker; Qt's own texts follow the interface language;
// the main window runs modally until it closes.
//
// A program's application object derives from WindowApp<itself> and gives
// kProgram (its name, for the string tables and the settings, and its rule
// from the system's language to its own) and RunWindow (its window, run
// until it closes); AfterWindow, when it has one, waits for workers that
// outlive the window.

#include <cstdint>
#include <functional>

#include "common/platform/Language.h"
#include "strings/StringTable.h"

namespace ui {

// A program's string table in a language (an empty one when there is none).
const strings::StringTable& ProgramStrings(const char* program, uint16_t languageId);

// A window program's name, its interface-language rule and its desktop
// entry's id (the installed menu entry and icon).
struct WindowProgramName {
    const char* name;
    uint16_t (*languageOf)(uint16_t systemLanguageId);
    const char* desktopId;
};

// The run: socket layer, Qt application with Qt's translations and the
// program's desktop entry, the window (runWindow), what outlives it
// (afterWindow), socket layer stopped. Returns runWindow's exit code.
int RunWindowProgram(int& argc, char** argv, const WindowProgramName& program, uint16_t languageId,
                     const std::function<int()>& runWindow, const std::function<void()>& afterWindow);

template <class App>
class WindowApp {
public:
    // The interface language of a run, from LC_ALL, LC_MESSAGES and LANG
    // (the first one set) by the program's rule.
    static uint16_t InterfaceLanguage(const char* lcAll, const char* lcMessages, const char* lang) {
        return App::kProgram.languageOf(platform::SystemDefaultLanguageId(lcAll, lcMessages, lang));
    }
    // The same from the process's environment.
    static uint16_t InterfaceLanguage() {
        return App::kProgram.languageOf(platform::SystemDefaultLanguageId());
    }
    // The program's string table of that language.
    static const strings::StringTable& Strings(uint16_t languageId) {
        return ProgramStrings(App::kProgram.name, languageId);
    }

    // The program, from start to exit code.
    int Run(int& argc, char** argv) {
        App& app = static_cast<App&>(*this);
        const uint16_t language = InterfaceLanguage();
        return RunWindowProgram(
            argc, argv, App::kProgram, language,
            [&app, language] { return app.RunWindow(Strings(language)); },
            [&app] { app.AfterWindow(); });
    }

    // Nothing outlives the window unless the program says so.
    void AfterWindow() {}
};

}  // namespace ui
