#pragma once
// Shared by the crypto tests: a diagnostics sink that records what is said,
// and the reader of the known-answer files in tests/data/crypto/ (made by
// make_vectors.py there with the openssl command line and hashlib).

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/platform/Diagnostics.h"

namespace crypto_test {

// Installs a recording sink for its lifetime.
class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;

    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    platform::DiagSink m_previous;
};

std::vector<uint8_t> FromHex(const std::string& hex);  // "-" is empty
std::string ToHex(const uint8_t* bytes, size_t length);

// The fields of each line of a file under tests/data/crypto/, comments
// (lines starting with '#') left out.
std::vector<std::vector<std::string>> ReadVectorFile(const std::string& name);

}  // namespace crypto_test
