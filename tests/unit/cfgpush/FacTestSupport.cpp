#include "FacTestSupport.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fac_test {

std::string DataPath(const std::string& name) {
    return std::string(CAMPREP_TEST_DATA_DIR) + "/fac/" + name;
}

std::vector<uint8_t> ReadDataFile(const std::string& name) {
    std::ifstream in(DataPath(name), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + DataPath(name));
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

const nlohmann::json& Manifest() {
    static const nlohmann::json manifest = [] {
        std::ifstream in(DataPath("packages.json"));
        if (!in) {
            throw std::runtime_error("cannot open packages.json");
        }
        return nlohmann::json::parse(in);
    }();
    return manifest;
}

std::vector<uint8_t> Le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> Name16(const std::string& name) {
    std::vector<uint8_t> field(name.begin(), name.end());
    field.resize(16, 0);
    return field;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

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

}  // namespace fac_test
