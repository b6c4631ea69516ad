#pragma once
// Whole files read at once (packages and the like), with the system's
// error number when they cannot be read, for the messages that show it.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class FileReadResult {
    kOk,
    kCannotRead,  // error holds the system's error number (a folder: EISDIR)
    kTooLarge,    // larger than the caller's limit; nothing was read
};

// Reads a regular file of at most maxBytes into bytes. Opened read-only, so
// a file on a read-only medium or shared with another program can be read;
// a file that shrinks while it is read gives what is there.
FileReadResult ReadRegularFile(const std::string& path, uint64_t maxBytes,
                               std::vector<uint8_t>& bytes, int& error);

}  // namespace platform
