#pragma once
// The string-table files built into the library (a generated source fills
// kFiles; its last entry has a null program).

#include <cstddef>
#include <cstdint>

namespace strings::embedded {

struct EmbeddedFile {
    const char* program;  // the folder under resources/, e.g. "cfgpush"
    uint16_t languageId;
    const unsigned char* data;  // the file's bytes (UTF-8)
    size_t size;
};

extern const EmbeddedFile kFiles[];

}  // namespace strings::embedded
