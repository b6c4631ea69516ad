#pragma once
// Cfgpush's application object: chooses the interface language, runs the
// main window modally and ends the program when it closes. It keeps the
// push workers' group, which must outlive the window: a worker still
// running when the window closes finishes on its own (its report then goes
// nowhere) and is joined before the program ends. For the same reason it,
// not the window, starts and stops the socket layer.

#include <cstdint>

#include "cfgpush/engine/PushWorker.h"
#include "strings/StringTable.h"

namespace cfgpush {

class CCfgpushApp {
public:
    // The interface language of a run: Simplified Chinese (2052) when the
    // system default language (from LC_ALL, LC_MESSAGES, LANG, the first
    // one set) is Chinese of Taiwan, the PRC or Hong Kong, English (2057)
    // otherwise.
    static uint16_t InterfaceLanguage(const char* lcAll, const char* lcMessages, const char* lang);
    // The same from the process's environment.
    static uint16_t InterfaceLanguage();
    // The string table of that language (an empty one if there is none).
    static const strings::StringTable& Strings(uint16_t languageId);

    // The program: builds the Qt application, runs the main window until it
    // closes, waits for push workers still running. Returns the exit code.
    int Run(int& argc, char** argv);

private:
    PushWorkerGroup m_workers;
};

}  // namespace cfgpush
