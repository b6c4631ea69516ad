#pragma once
// The user's own folders, where the programs keep what they write for the
// user (diagnostics files), never beside the program.

#include <string>

namespace platform {

// The user's state folder: $XDG_STATE_HOME when it is an absolute path,
// else ~/.local/state; empty when the user has no home.
std::string UserStateDirectory();

// Makes path and its missing parents, each new one readable by the user
// only. True when path is a folder afterwards.
bool MakeUserDirectory(const std::string& path);

// The running program's name (its executable's file name); "camprep" when
// unknown.
std::string ProgramName();

}  // namespace platform
