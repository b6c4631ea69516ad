// `camprep version`: the program's version, for scripts that log it.
#include <cstdio>

#include "cli/CommandRegistry.h"

namespace {

const cli::CommandRegistrar kVersion("version", [](CLI::App& app) {
    app.add_subcommand("version", "Print camprep's version");
    return [] {
        std::printf("camprep %s\n", CAMPREP_VERSION);
        return cli::kExitOk;
    };
});

}  // namespace
