#pragma once
// Whole files read and written at once (packages, reports and the like),
// with the system's error number when that fails, for the messages that
// show it. Paths are UTF-8 on every system.

#include <cstdint>
#include <string>
#include <string_view>
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

// Writes bytes as the whole file at path: first into a temporary file beside
// it, which then replaces the target, existing or not (Windows' rename
// refuses an existing target). A reader never sees half a file and an
// earlier file survives a failed write. False with error holding the
// system's error number (an errno value) on failure.
bool WriteFileReplacing(const std::string& path, std::string_view bytes, int& error);

// Appends text to the file at path. A new file is readable by its owner
// only on Linux; on Windows it takes its folder's access list. False when
// it cannot be written.
bool AppendToPrivateFile(const std::string& path, std::string_view text);

// True for an absolute file path of this system ("/..." on Linux; also
// "C:\..." and "\\server\..." on Windows).
bool IsAbsolutePath(std::string_view path);

}  // namespace platform
