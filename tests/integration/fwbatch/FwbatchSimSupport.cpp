#include "FwbatchSimSupport.h"

#include <openssl/evp.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "common/crypto/Digest.h"

namespace fwtest {
namespace {

const std::string kDir = std::string(CAMPREP_TEST_DATA_DIR) + "/fwbatch/";

ConnectProcEnv QuickConnectEnv() {
    ConnectProcEnv env;
    env.hostAddresses = [] { return std::vector<std::string>(); };
    return env;
}

}  // namespace

std::vector<uint8_t> ReadPackage(const std::string& name) {
    std::ifstream in(kDir + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ExpectedPayloadSha256(const std::string& name) {
    std::ifstream in(kDir + "payloads.sha256");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string digest;
        std::string file;
        if (fields >> digest >> file && file == name) {
            return digest;
        }
    }
    return "missing";
}

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
    uint8_t digest[32];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    return crypto::HexText({digest, size});
}

fwbatch::UpgradeOptions QuickUpgradeOptions() {
    fwbatch::UpgradeOptions options;
    options.timings.connectMs = 3000;
    options.timings.greetingMs = 500;
    options.connectEnv = QuickConnectEnv();
    return options;
}

fwbatch::AiQueryOptions QuickAiOptions() {
    fwbatch::AiQueryOptions options;
    options.timings.greetingMs = 500;
    options.connectEnv = QuickConnectEnv();
    return options;
}

}  // namespace fwtest
