#pragma once
// The string tables built into the programs, one per program and language
// (from resources/<program>/strings.<language id>.txt).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "strings/StringTable.h"

namespace strings {

// The table of `program` ("cfgpush", "fwbatch") in `languageId`, or null
// when the program has no table in that language. Tables are read once, on
// first use, and never change; safe from any thread.
const StringTable* FindTable(std::string_view program, uint16_t languageId);

struct TableInfo {
    std::string program;
    uint16_t languageId = 0;
    std::vector<std::string> errors;  // lines of the file that could not be read
};

// Every built-in table, in file-name order.
std::vector<TableInfo> Tables();

// Cfgpush's texts for this run: the table the language rule picks from the
// system default language (the locale).
const StringTable& CfgpushStrings();

// Fwbatch's texts for this run, by its own language rule.
const StringTable& FwbatchStrings();

}  // namespace strings
