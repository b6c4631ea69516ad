#pragma once
// Shared by the Cfgpush engine tests: the packages made by
// tests/data/fac/make_packages.py and what it says they hold.

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/platform/Diagnostics.h"

namespace fac_test {

// tests/data/fac/<name>
std::string DataPath(const std::string& name);
std::vector<uint8_t> ReadDataFile(const std::string& name);

// packages.json: one object per package.
const nlohmann::json& Manifest();

// Little-endian 32-bit value as bytes.
std::vector<uint8_t> Le32(uint32_t value);
// A name in a 16-byte zero-filled field.
std::vector<uint8_t> Name16(const std::string& name);
std::vector<uint8_t> Bytes(const std::string& text);
void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more);

// Collects the diagnostics channel's texts while it lives.
class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    std::vector<std::string> Texts() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    platform::DiagSink m_previous;
};

}  // namespace fac_test
