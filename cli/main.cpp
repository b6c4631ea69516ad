// camprep: the engines of Cfgpush and Fwbatch from the command line, for
// production-line automation. Tables for people, JSON for scripts, exit
// statuses that tell success from failure.

#include <cstdio>

#include "cli/CommandRegistry.h"
#include "common/link/SWL_Public.h"
#include "common/platform/Process.h"

namespace {

// The socket layer for the program's whole run (Windows: Winsock started);
// every command's workers are joined before it stops.
class SocketLayer {
public:
    SocketLayer() : m_started(SWL_Init() == 0) {}
    ~SocketLayer() {
        if (m_started) {
            SWL_Quit();
        }
    }
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;

private:
    bool m_started;
};

}  // namespace

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const SocketLayer sockets;
    // Arguments as UTF-8 (on Windows argv is in the ANSI code page).
    std::vector<std::string> arguments = platform::Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& argument : arguments) {
        utf8Argv.push_back(argument.data());
    }
    CLI::App app;
    cli::CommandRunners runners = cli::SetUpCommands(app);
    try {
        app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? cli::kExitOk : cli::kExitUsage;
    }
    for (auto& [sub, run] : runners) {
        if (sub->parsed()) {
            return run();
        }
    }
    std::fprintf(stderr, "camprep: no command given (see --help)\n");
    return cli::kExitUsage;
}
