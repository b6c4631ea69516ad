// camprep's command table: every command's file registers itself, and the
// program (and its manual page) set the commands up from here.
#include <algorithm>

#include "cli/CommandRegistry.h"

namespace cli {

std::vector<CommandEntry>& Commands() {
    static std::vector<CommandEntry> commands;
    return commands;
}

CommandRunners SetUpCommands(CLI::App& app) {
    app.description(
        "camprep: prepares network cameras in bulk (discover, packages, push, upgrade)");
    // "/path" is a path, not an option, on every system.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string(CAMPREP_VERSION));

    auto& commands = Commands();
    std::sort(commands.begin(), commands.end(),
              [](const CommandEntry& a, const CommandEntry& b) { return a.name < b.name; });
    CommandRunners runners;
    for (const CommandEntry& entry : commands) {
        const size_t before = app.get_subcommands({}).size();
        std::function<int()> run = entry.setup(app);
        const auto subs = app.get_subcommands({});
        if (subs.size() > before) {
            runners.emplace_back(subs.back(), std::move(run));
        }
    }
    return runners;
}

}  // namespace cli
