#pragma once
// The control commands camsim reads from its standard input (--commands),
// one per line:
//   leave DEVICE     the device stops answering the search
//   return DEVICE    it answers again
//   list             one line per device: index, MAC, address:port, answering or left
//   flush            writes the store now
//   quit             stops camsim
// DEVICE is an index (from 0), a MAC text, or "all".

#include <string>

namespace sim {

class Simulator;

struct ControlResult {
    std::string reply;  // what to print (lines end with '\n'); starts "error:" on a bad command
    bool quit = false;
};

ControlResult RunControlCommand(Simulator& simulator, const std::string& line);

}  // namespace sim
