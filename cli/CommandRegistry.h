#pragma once
// camprep's subcommands register themselves: each command's file defines a
// static CommandRegistrar, so adding a command is adding a file.

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the work ran and something did not succeed (or nothing was found)
constexpr int kExitUsage = 2;   // bad usage or bad input file

// Adds the command's subcommand to the application. The returned function
// runs it (after parsing) and gives the exit status.
using CommandSetup = std::function<std::function<int()>(CLI::App& app)>;

struct CommandEntry {
    std::string name;
    CommandSetup setup;
};

std::vector<CommandEntry>& Commands();

// A command's parsed subcommand and the function that runs it.
using CommandRunners = std::vector<std::pair<CLI::App*, std::function<int()>>>;

// Gives app camprep's description, its --version and every registered
// command, in name order (the program and its manual page both build it).
CommandRunners SetUpCommands(CLI::App& app);

struct CommandRegistrar {
    CommandRegistrar(std::string name, CommandSetup setup) {
        Commands().push_back({std::move(name), std::move(setup)});
    }
};

}  // namespace cli
