#include "CryptoTestSupport.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace crypto_test {

DiagCapture::DiagCapture() {
    m_previous = platform::SetDiagSink([this](const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_texts.push_back(text);
    });
}

DiagCapture::~DiagCapture() {
    platform::SetDiagSink(std::move(m_previous));
}

std::vector<std::string> DiagCapture::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_texts;
}

void DiagCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_texts.clear();
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    if (hex == "-") {
        return bytes;
    }
    if (hex.size() % 2 != 0) {
        throw std::runtime_error("odd hex text: " + hex);
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(const uint8_t* bytes, size_t length) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::vector<std::vector<std::string>> ReadVectorFile(const std::string& name) {
    const std::string path = std::string(CAMPREP_TEST_DATA_DIR) + "/crypto/" + name;
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string field; fields >> field;) {
            row.push_back(field);
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace crypto_test
