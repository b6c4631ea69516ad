#pragma once
// Hubkit, the shared-services registry. The programs hand it their
// process-wide objects once, when each is first created; they keep using
// their own instance, so Hubkit only records what it was given.

#include <cstddef>

// Records one registration of a process-wide object under its run-time type
// name. Thread-safe. A null type name is recorded under "".
extern "C" void HUBKIT_CreateSingleton(void* instance, const char* typeName);

namespace hubkit {

// How many times an object was registered under this type name.
size_t RegistrationCount(const char* typeName);

// The instance of the latest registration under this name; null when none.
void* LastInstance(const char* typeName);

}  // namespace hubkit
