#pragma once
// A private network namespace for the measuring programs that search: the
// search multicasts on every up interface, so these programs never run in
// the machine's own network. Entered by the program itself at the start of
// main, before any thread exists (a namespace belongs to the thread that
// makes it and to everything started from it afterwards). Needs root.

#include <string>

namespace bench {

// Moves the process into a new network namespace, brings loopback up and
// adds a running veth pair (NAME, NAME + "p"; no address), so that the
// programs' wait for a network other than loopback ends at once. Returns
// the empty text on success, otherwise why not; the caller refuses to run.
std::string EnterPrivateNetwork(const std::string& name = "bench0");

// Runs a shell command quietly; its exit status, -1 when it could not run.
int Shell(const std::string& command);

}  // namespace bench
