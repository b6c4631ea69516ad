// camprep: the engines of Cfgpush and Fwbatch from the command line, for
// production-line automation. Tables for people, JSON for scripts, exit
// statuses that tell success from failure.

#include <algorithm>
#include <cstdio>

#include "cli/CommandRegistry.h"

namespace cli {

std::vector<CommandEntry>& Commands() {
    static std::vector<CommandEntry> commands;
    return commands;
}

}  // namespace cli

int main(int argc, char** argv) {
    CLI::App app{"camprep: prepares network cameras in bulk (discover, packages, push)"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string(CAMPREP_VERSION));

    auto& commands = cli::Commands();
    std::sort(
        commands.begin(), commands.end(),
        [](const cli::CommandEntry& a, const cli::CommandEntry& b) { return a.name < b.name; });
    std::vector<std::pair<CLI::App*, std::function<int()>>> runners;
    for (const cli::CommandEntry& entry : commands) {
        const size_t before = app.get_subcommands({}).size();
        std::function<int()> run = entry.setup(app);
        const auto subs = app.get_subcommands({});
        if (subs.size() > before) {
            runners.emplace_back(subs.back(), std::move(run));
        }
    }
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
