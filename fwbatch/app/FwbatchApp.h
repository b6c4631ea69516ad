#pragma once
// Fwbatch's application object: chooses the interface language and runs
// the main window modally; the program ends when it closes. The window owns
// its workers and waits for them when it closes; the socket layer is started
// here, before the window, and stopped after it.

#include <cstdint>

#include "strings/StringTable.h"

namespace fwbatch {

class CFwbatchApp {
public:
    // The interface language of a run from the locale variables (the first
    // set of LC_ALL, LC_MESSAGES, LANG): Chinese of Taiwan 1028, of the PRC
    // 2052, of Hong Kong 1028, anything else English (2057).
    static uint16_t InterfaceLanguage(const char* lcAll, const char* lcMessages, const char* lang);
    // The same from the process's environment.
    static uint16_t InterfaceLanguage();
    // The string table of that language (an empty one if there is none).
    static const strings::StringTable& Strings(uint16_t languageId);

    // The program: builds the Qt application and runs the main window until
    // it closes. Returns the exit code.
    int Run(int& argc, char** argv);

private:
    int RunWindow(int& argc, char** argv);
};

}  // namespace fwbatch
