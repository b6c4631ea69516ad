#include "cli/docgen/CommandTree.h"

#include <CLI/CLI.hpp>

namespace cli::docgen {
namespace {

// "TEXT:{software,kernel}" -> choices software, kernel: the set a check
// of the accepted values describes.
std::vector<std::string> Choices(const std::string& typeName) {
    std::vector<std::string> choices;
    const size_t open = typeName.find('{');
    const size_t close = typeName.find('}', open);
    if (open == std::string::npos || close == std::string::npos) {
        return choices;
    }
    const std::string list = typeName.substr(open + 1, close - open - 1);
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        if (comma > start) {
            choices.push_back(list.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return choices;
}

OptionDoc ReadOption(const CLI::Option& option) {
    OptionDoc doc;
    for (const std::string& s : option.get_snames()) {
        doc.names.push_back("-" + s);
    }
    for (const std::string& l : option.get_lnames()) {
        doc.names.push_back("--" + l);
    }
    if (doc.names.empty()) {
        doc.names.push_back(option.get_name(true));
    }
    if (option.get_type_size() != 0) {
        const std::string type = option.get_type_name();
        doc.value = type.substr(0, type.find(':'));
        doc.choices = Choices(type);
    }
    doc.required = option.get_required();
    doc.repeatable = option.get_items_expected_max() > 1;
    doc.description = option.get_description();
    return doc;
}

CommandDoc ReadCommand(const CLI::App& app, const std::string& parent) {
    CommandDoc doc;
    doc.name = app.get_name();
    doc.path = parent.empty() ? doc.name : parent + " " + doc.name;
    doc.description = app.get_description();
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty()) {
            continue;  // hidden
        }
        (option->nonpositional() ? doc.options : doc.positionals).push_back(ReadOption(*option));
    }
    for (const CLI::App* sub : app.get_subcommands({})) {
        doc.commands.push_back(ReadCommand(*sub, doc.path));
    }
    return doc;
}

void CollectLeaves(const CommandDoc& command, std::vector<const CommandDoc*>& leaves) {
    for (const CommandDoc& sub : command.commands) {
        if (sub.commands.empty()) {
            leaves.push_back(&sub);
        } else {
            CollectLeaves(sub, leaves);
        }
    }
}

}  // namespace

CommandDoc ReadCommandTree(const CLI::App& app) {
    return ReadCommand(app, std::string());
}

std::vector<const CommandDoc*> Leaves(const CommandDoc& root) {
    std::vector<const CommandDoc*> leaves;
    CollectLeaves(root, leaves);
    return leaves;
}

}  // namespace cli::docgen
