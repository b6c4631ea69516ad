#pragma once
// What the process knows of itself: its id and its standard output.

#include <cstddef>
#include <cstdint>

namespace platform {

uint32_t ProcessId();

// The height in lines of the terminal standard output goes to; false when
// it goes elsewhere (a file, a pipe) or the height is unknown.
bool StdoutTerminalRows(size_t& rows);

}  // namespace platform
