#pragma once
// camprep(1): a roff template whose @VERSION@, @SYNOPSIS@, @OPTIONS@ and
// @COMMANDS@ are filled from the command table.

#include <string>

#include "cli/docgen/CommandTree.h"

namespace cli::docgen {

// Text as roff shows it literally: backslashes and minus signs escaped, a
// line that would start with a control character made plain.
std::string RoffText(const std::string& text);

std::string WriteManPage(const CommandDoc& root, const std::string& templateText,
                         const std::string& version);

}  // namespace cli::docgen
