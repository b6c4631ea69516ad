// camprep: the engines of Cfgpush and Fwbatch from the command line, for
// production-line automation. Tables for people, JSON for scripts, exit
// statuses that tell success from failure.

#include <cstdio>

#include "cli/CommandRegistry.h"

int main(int argc, char** argv) {
    CLI::App app;
    cli::CommandRunners runners = cli::SetUpCommands(app);
    try {
        app.parse(argc, argv);
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
