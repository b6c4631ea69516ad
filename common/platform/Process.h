#pragma once
// What the process knows of itself: its id, its arguments and its standard
// output.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

uint32_t ProcessId();

// The height in lines of the terminal standard output goes to; false when
// it goes elsewhere (a file, a pipe) or the height is unknown.
bool StdoutTerminalRows(size_t& rows);

// The program's arguments in UTF-8, the program's name first. Linux: argv
// as given. Windows: the command line's wide-character text, since argv
// holds it in the ANSI code page, which cannot carry every language.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 texts the program prints (Windows'
// console takes its code page otherwise), until the program ends; nothing
// to do on Linux.
void UseUtf8Console();

}  // namespace platform
