// What the packages hold, checked in the build tree: camprep(1) names every
// command and option camprep's own --help shows, the bash completion
// completes as a user types, the manual pages format without warnings, and
// the menu entries and AppStream data pass Debian's validators and carry
// their Chinese names and comments.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ProcessRun.h"

namespace {

using cli_test::RunProcess;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The entries of one section ("Options:", "Subcommands:") of a --help
// text: the lines indented by two, without the lines that go on with an
// entry's description (indented further).
std::vector<std::string> Section(const std::string& help, const std::string& title) {
    std::vector<std::string> lines;
    std::istringstream in(help);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != ' ') {
            inside = line == title;
        } else if (inside && line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ') {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string Roff(std::string text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return escaped;
}

TEST(PackageFiles, ManualPageNamesEveryCommandAndOption) {
    const std::string page = ReadFile(CAMPREP_MAN_DIR "/camprep.1");
    ASSERT_FALSE(page.empty());
    // Walk the commands as --help lists them, from the top.
    std::vector<std::vector<std::string>> pending = {{}};
    std::set<std::string> options;
    size_t commands = 0;
    while (!pending.empty()) {
        std::vector<std::string> path = pending.back();
        pending.pop_back();
        std::vector<std::string> args = path;
        args.push_back("--help");
        const cli_test::ProcessResult help = RunProcess(CAMPREP_BIN, args);
        ASSERT_EQ(help.exitStatus, 0) << help.err;
        std::string name = "camprep";
        for (const std::string& p : path) {
            name += " " + p;
        }
        const std::vector<std::string> subs = Section(help.out, "Subcommands:");
        for (const std::string& line : subs) {
            std::istringstream words(line);
            std::string sub;
            words >> sub;
            std::vector<std::string> next = path;
            next.push_back(sub);
            pending.push_back(next);
        }
        if (subs.empty()) {
            ++commands;
            EXPECT_NE(page.find(".SS \\fB" + Roff(name) + "\\fR"), std::string::npos) << name;
        }
        // Options are the words that start a line of the section, and the
        // others named with them ("-h,--help", "--prepare,--no-prepare").
        static const std::regex optionAtStart(
            R"(^\s+((-{1,2}[A-Za-z][\w-]*)(,\s*-{1,2}[A-Za-z][\w-]*)*))");
        static const std::regex one(R"(-{1,2}[A-Za-z][\w-]*)");
        for (const std::string& line : Section(help.out, "Options:")) {
            std::smatch names;
            if (!std::regex_search(line, names, optionAtStart)) {
                continue;
            }
            const std::string list = names[1];
            for (auto it = std::sregex_iterator(list.begin(), list.end(), one);
                 it != std::sregex_iterator(); ++it) {
                options.insert(it->str());
                EXPECT_NE(page.find("\\fB" + Roff(it->str()) + "\\fR"), std::string::npos)
                    << name << " " << it->str();
            }
        }
    }
    EXPECT_GE(commands, 8u);  // adapter prepare, discover, fac inspect, fac pack, push, ...
    for (const char* option : {"--help", "--version", "--no-prepare", "--max-fail-percent"}) {
        EXPECT_EQ(options.count(option), 1u) << option;
    }
}

// What bash offers after the words typed, with bash-completion's loader.
std::string Complete(const std::string& typed) {
    const std::string script =
        "source /usr/share/bash-completion/bash_completion\n"
        "source " CAMPREP_COMPLETION
        "\n"
        "COMP_LINE='" +
        typed +
        "'\n"
        "COMP_POINT=${#COMP_LINE}\n"
        "read -r -a COMP_WORDS <<< \"$COMP_LINE\"\n"
        "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "_camprep camprep \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\" | sort\n";
    return RunProcess("/bin/bash", {"-c", script}).out;
}

TEST(PackageFiles, CompletionCompletesCommandsOptionsAndValues) {
    const struct {
        const char* typed;
        const char* offered;
    } cases[] = {
        {"camprep up", "upgrade\n"},
        {"camprep fac ", "--help\n-h\ninspect\npack\n"},
        {"camprep upgrade --no-p", "--no-prepare\n"},
        {"camprep upgrade --type k", "kernel\n"},
        {"camprep adapter prepare --first-m", "--first-mask\n"},
        {"camprep discover --interface l", "lo\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Complete(c.typed), c.offered) << c.typed;
    }
}

TEST(PackageFiles, ManualPagesFormatWithoutWarnings) {
    for (const char* page : {"camprep", "camsim", "cfgpush", "fwbatch"}) {
        const std::string path = std::string(CAMPREP_MAN_DIR "/") + page + ".1";
        const cli_test::ProcessResult shown = RunProcess(
            "/bin/sh",
            {"-c", "MANWIDTH=80 man --warnings -E UTF-8 -l '" + path + "' 2>&1 >/dev/null"},
            {"LC_ALL=C.UTF-8"});
        EXPECT_EQ(shown.exitStatus, 0) << page;
        EXPECT_EQ(shown.out, "") << page;
    }
}

TEST(PackageFiles, MenuEntriesAndMetadataValidateInThreeLanguages) {
    for (const char* app : {"Cfgpush", "Fwbatch"}) {
        const std::string base = std::string(CAMPREP_DESKTOP_DIR "/org.camprep.") + app;
        const cli_test::ProcessResult desktop =
            RunProcess("/usr/bin/desktop-file-validate", {base + ".desktop"});
        EXPECT_EQ(desktop.exitStatus, 0) << desktop.out << desktop.err;
        EXPECT_EQ(desktop.out, "") << app;
        const cli_test::ProcessResult meta =
            RunProcess("/usr/bin/appstreamcli", {"validate", "--no-net", base + ".metainfo.xml"});
        EXPECT_EQ(meta.exitStatus, 0) << meta.out << meta.err;
        const std::string entry = ReadFile(base + ".desktop");
        for (const char* key :
             {"Name[zh_CN]=", "Name[zh_TW]=", "Comment[zh_CN]=", "Comment[zh_TW]="}) {
            EXPECT_NE(entry.find(std::string("\n") + key), std::string::npos) << app << " " << key;
        }
    }
}

// Diagnostics files go to the user's state folder, never beside the program.
TEST(PackageFiles, DiagnosticsFileInTheUserStateFolder) {
    const std::string state = ::testing::TempDir() + "camprep-state";
    std::system(("rm -rf " + state).c_str());
    const cli_test::ProcessResult run =
        RunProcess(CAMPREP_BIN, {"ai-version", "--device", "127.0.0.1:9"},
                   {"LC_ALL=C.UTF-8", "CAMPREP_DIAG=file", "XDG_STATE_HOME=" + state});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(ReadFile(state + "/camprep/camprep.log").find("begin Connect"), std::string::npos);
    std::system(("rm -rf " + state).c_str());
}

}  // namespace
