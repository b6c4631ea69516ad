#pragma once
// What the adapter helper is asked to do, read strictly from its arguments
// against the machine's adapters: a task word, an interface that exists, is
// up and is not loopback, an address a device of a foreign subnet may have,
// and for "add" a mask whose subnet no adapter is in yet. Nothing else is
// accepted. Pure: the adapter list is given.

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/NetworkPlatform.h"

namespace fwbatch::adapter {

enum class HelperTask { kProbe, kAdd };

struct HelperRequest {
    HelperTask task = HelperTask::kProbe;
    platform::AdapterInfo adapter;
    uint32_t address = 0;  // network byte order
    uint32_t mask = 0;     // add only
};

// The lines of the helper's usage text.
extern const char* const kHelperUsageText;

// Reads args (after the program's name). Empty on success; otherwise what
// is wrong, in a sentence for the caller's standard error.
std::string ReadHelperRequest(const std::vector<std::string>& args,
                              const std::vector<platform::AdapterInfo>& adapters,
                              HelperRequest& request);

}  // namespace fwbatch::adapter
