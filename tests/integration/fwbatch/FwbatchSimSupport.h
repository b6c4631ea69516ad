#pragma once
// Test support for Fwbatch's engine against simulated devices: the packages
// of tests/data/fwbatch/make_packages.py with their payloads' SHA-256, and
// quick timings for the workers.

#include <cstdint>
#include <string>
#include <vector>

#include "fwbatch/engine/AiQuery.h"
#include "fwbatch/engine/UpgradeWorker.h"

namespace fwtest {

std::vector<uint8_t> ReadPackage(const std::string& name);
// The payload's SHA-256 as the script's manifest gives it.
std::string ExpectedPayloadSha256(const std::string& name);
std::string Sha256Hex(const std::vector<uint8_t>& bytes);

// Short limits, and no adapter procedure after a refused connect.
fwbatch::UpgradeOptions QuickUpgradeOptions();
fwbatch::AiQueryOptions QuickAiOptions();

}  // namespace fwtest
