#pragma once
// camprep's bash completion (for bash-completion's loader): commands,
// options, the fixed values of an option, interface names for
// --interface, and file names for values and positionals named FILE.

#include <string>

#include "cli/docgen/CommandTree.h"

namespace cli::docgen {

std::string WriteBashCompletion(const CommandDoc& root);

}  // namespace cli::docgen
