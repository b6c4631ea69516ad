#pragma once
// A system's socket error numbers and what they mean to the layer above,
// and the two lookups over such a table; SWL_Public.cpp (POSIX) and
// SWL_PublicWin.cpp (Winsock) each hold their system's table.

#include <cstddef>

#include "common/link/SWL_Public.h"

struct SwlErrorCode {
    int system;
    SWL_ERROR error;
};

// The meaning of a system error number (0 is None, an unknown one Other).
template <size_t N>
SWL_ERROR SwlErrorFromTable(const SwlErrorCode (&table)[N], int systemError) {
    if (systemError == 0) {
        return SWL_ERROR::None;
    }
    for (const SwlErrorCode& entry : table) {
        if (entry.system == systemError) {
            return entry.error;
        }
    }
    return SWL_ERROR::Other;
}

// The system number that stands for e: the first of its numbers in the
// table, 0 for None, `other` for Other.
template <size_t N>
int SwlSystemErrorOf(const SwlErrorCode (&table)[N], SWL_ERROR e, int other) {
    if (e == SWL_ERROR::None) {
        return 0;
    }
    for (const SwlErrorCode& entry : table) {
        if (entry.error == e) {
            return entry.system;
        }
    }
    return other;
}
