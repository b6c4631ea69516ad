#include "cli/docgen/BashCompletion.h"

namespace cli::docgen {
namespace {

void Walk(const CommandDoc& command, std::vector<const CommandDoc*>& all) {
    all.push_back(&command);
    for (const CommandDoc& sub : command.commands) {
        Walk(sub, all);
    }
}

std::string Words(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& w : words) {
        joined += (joined.empty() ? "" : " ") + w;
    }
    return joined;
}

}  // namespace

std::string WriteBashCompletion(const CommandDoc& root) {
    std::vector<const CommandDoc*> all;
    Walk(root, all);

    std::string commandPaths;
    std::string choices;
    std::string interfaces;
    std::string files;
    std::string others;  // values of no kind a shell knows: nothing to offer
    std::string candidates;
    for (const CommandDoc* command : all) {
        if (command != &root) {
            commandPaths += std::string(commandPaths.empty() ? "" : " | \\\n            ") + "\"" +
                            command->path + "\"";
        }
        std::vector<std::string> words;
        for (const CommandDoc& sub : command->commands) {
            words.push_back(sub.name);
        }
        for (const OptionDoc& option : command->options) {
            words.insert(words.end(), option.names.begin(), option.names.end());
            if (option.value.empty()) {
                continue;
            }
            for (const std::string& name : option.names) {
                const std::string pattern = "\"" + command->path + " " + name + "\"";
                if (!option.choices.empty()) {
                    choices += "        " + pattern + ")\n            COMPREPLY=($(compgen -W '" +
                               Words(option.choices) + "' -- \"$cur\"))\n            return ;;\n";
                } else if (name == "--interface") {
                    interfaces += std::string(interfaces.empty() ? "" : " | ") + pattern;
                } else if (option.value.find("FILE") != std::string::npos) {
                    files += std::string(files.empty() ? "" : " | \\\n        ") + pattern;
                } else {
                    others += std::string(others.empty() ? "" : " | \\\n        ") + pattern;
                }
            }
        }
        candidates +=
            "        \"" + command->path + "\")\n            candidates='" + Words(words) +
            "'\n            positionals=" + std::to_string(command->positionals.size()) + " ;;\n";
    }

    std::string script =
        "# bash completion for camprep(1). Written by camprep-docgen from the command\n"
        "# table camprep parses its command line with.\n"
        "\n"
        "_camprep()\n"
        "{\n"
        "    local cur prev words cword split\n"
        "    _init_completion -s || return\n"
        "\n"
        "    # The command named so far: the words after camprep that are commands.\n"
        "    local command=camprep i\n"
        "    for ((i = 1; i < cword; i++)); do\n"
        "        case \"$command ${words[i]}\" in\n"
        "            " +
        commandPaths +
        ")\n"
        "                command=\"$command ${words[i]}\" ;;\n"
        "        esac\n"
        "    done\n"
        "\n"
        "    case \"$command $prev\" in\n" +
        choices;
    if (!interfaces.empty()) {
        script +=
            "        " + interfaces +
            ")\n"
            "            COMPREPLY=($(compgen -W \"$(command ls /sys/class/net 2>/dev/null)\" "
            "-- \"$cur\"))\n"
            "            return ;;\n";
    }
    if (!files.empty()) {
        script += "        " + files + ")\n            _filedir\n            return ;;\n";
    }
    if (!others.empty()) {
        script += "        " + others + ")\n            return ;;\n";
    }
    script +=
        "    esac\n"
        "    $split && return\n"
        "\n"
        "    local candidates='' positionals=0\n"
        "    case \"$command\" in\n" +
        candidates +
        "    esac\n"
        "    if [[ $cur != -* && $positionals -gt 0 ]]; then\n"
        "        _filedir\n"
        "        return\n"
        "    fi\n"
        "    COMPREPLY=($(compgen -W \"$candidates\" -- \"$cur\"))\n"
        "} &&\n"
        "    complete -F _camprep camprep\n"
        "\n"
        "# ex: filetype=sh\n";
    return script;
}

}  // namespace cli::docgen
