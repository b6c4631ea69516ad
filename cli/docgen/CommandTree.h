#pragma once
// camprep's commands and options as plain data, read from the table the
// program parses its command line with, for the manual page and the bash
// completion: what they say is what the program takes.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli::docgen {

struct OptionDoc {
    std::vector<std::string> names;    // "-h", "--help"; for a positional its placeholder
    std::string value;                 // placeholder of the value ("TEXT"); empty for a flag
    std::vector<std::string> choices;  // the values it takes, when they are a fixed set
    bool required = false;
    bool repeatable = false;
    std::string description;
};

struct CommandDoc {
    std::string path;  // "camprep fac pack"
    std::string name;  // "pack"
    std::string description;
    std::vector<OptionDoc> options;      // named options, --help included
    std::vector<OptionDoc> positionals;  // in order
    std::vector<CommandDoc> commands;    // in the program's order
};

CommandDoc ReadCommandTree(const CLI::App& app);

// Every command that runs something (has no commands below it), depth first.
std::vector<const CommandDoc*> Leaves(const CommandDoc& root);

}  // namespace cli::docgen
