#include "cli/docgen/ManPage.h"

namespace cli::docgen {
namespace {

std::string Bold(const std::string& text) {
    return "\\fB" + RoffText(text) + "\\fR";
}

std::string Italic(const std::string& text) {
    return "\\fI" + RoffText(text) + "\\fR";
}

std::string Join(const std::vector<std::string>& parts, const std::string& between) {
    std::string joined;
    for (const std::string& part : parts) {
        joined += (joined.empty() ? "" : between) + part;
    }
    return joined;
}

// "--type {software|kernel}", "--package TEXT", "FILE".
std::string Usage(const OptionDoc& option, bool allNames) {
    std::vector<std::string> names;
    for (const std::string& name : option.names) {
        names.push_back(name[0] == '-' ? Bold(name) : Italic(name));  // a positional's placeholder
    }
    std::string usage = allNames ? Join(names, ", ") : names.back();
    if (!option.choices.empty()) {
        std::vector<std::string> choices;
        for (const std::string& c : option.choices) {
            choices.push_back(Bold(c));
        }
        usage += " {" + Join(choices, "|") + "}";
    } else if (!option.value.empty() && option.names.front()[0] == '-') {
        usage += " " + Italic(option.value);
    }
    return usage;
}

std::string OptionItem(const OptionDoc& option) {
    std::string text = option.description;
    if (option.required) {
        text += " (required)";
    }
    if (option.repeatable && text.find("repeatable") == std::string::npos) {
        text += " (repeatable)";
    }
    return ".TP\n" + Usage(option, true) + "\n" + RoffText(text) + "\n";
}

std::string Synopsis(const CommandDoc& command) {
    std::string line = Bold(command.path);
    bool optional = false;
    for (const OptionDoc& option : command.options) {
        if (option.required) {
            line += " " + Usage(option, false);
        } else if (option.names.back() != "--help") {
            optional = true;
        }
    }
    if (optional) {
        line += " [" + Italic("options") + "]";
    }
    for (const OptionDoc& positional : command.positionals) {
        line += " " + Italic(positional.names.front());
    }
    return line;
}

void Replace(std::string& text, const std::string& marker, const std::string& value) {
    for (size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + value.size())) {
        text.replace(at, marker.size(), value);
    }
}

}  // namespace

std::string RoffText(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
    }
    return out;
}

std::string WriteManPage(const CommandDoc& root, const std::string& templateText,
                         const std::string& version) {
    std::string synopsis;
    std::string commands;
    for (const CommandDoc* leaf : Leaves(root)) {
        synopsis += (synopsis.empty() ? "" : ".br\n") + Synopsis(*leaf) + "\n";
        commands += ".SS " + Bold(leaf->path) + "\n" + RoffText(leaf->description) + "\n";
        for (const OptionDoc& positional : leaf->positionals) {
            commands += OptionItem(positional);
        }
        for (const OptionDoc& option : leaf->options) {
            if (option.names.back() != "--help") {
                commands += OptionItem(option);
            }
        }
    }
    std::string options;
    for (const OptionDoc& option : root.options) {
        options += OptionItem(option);
    }
    std::string page = templateText;
    Replace(page, "@VERSION@", version);
    Replace(page, "@SYNOPSIS@\n", synopsis);
    Replace(page, "@OPTIONS@\n", options);
    Replace(page, "@COMMANDS@\n", commands);
    return page;
}

}  // namespace cli::docgen
