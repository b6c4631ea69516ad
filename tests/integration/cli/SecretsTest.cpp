// The device password leaves no trace. camprep pushes a package, upgrades
// and asks for AI versions (the password given once in a file, once in the
// environment, once on the command line) to camsim's devices, which log in
// every way the protocol knows: plain, by digest, by digest with the name
// scrambled and encrypted payloads, disguised by the XOR cipher. The
// diagnostics channel of both programs writes to files. Neither the
// password nor any form it takes on the wire turns up in camprep's output,
// its diagnostics, or camsim's output, diagnostics and stored records.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ProcessRun.h"
#include "tests/integration/cli/CamsimProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "Kx9-Secret-Quokka-77";
constexpr uint32_t kDigestSession = 4242;
constexpr uint32_t kScrambledSession = 777;
constexpr uint32_t kXorKey = 0x44332211;  // key bytes 11 22 33 44

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

std::string Hex(const std::string& bytes, bool upper) {
    static const char* const kDigits[] = {"0123456789abcdef", "0123456789ABCDEF"};
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(kDigits[upper][c >> 4]);
        out.push_back(kDigits[upper][c & 15]);
    }
    return out;
}

struct SecretForm {
    std::string what;
    std::string bytes;
};

// The password and what the login and the AI query make of it, each also as
// hexadecimal text (a dump of a record would show it so). Computed with
// Python's standard library, not with the code under test:
//   import base64, hashlib
//   p = b"Kx9-Secret-Quokka-77"
//   base64.b64encode(b"admin:" + p); base64.b64encode(p)
//   m = hashlib.md5(p).hexdigest().upper()
//   hashlib.sha1((m + "%08u" % 4242).encode()).hexdigest()    # and 777
//   bytes(b ^ (0x11, 0x22, 0x33, 0x44)[i % 4] for i, b in enumerate(p)).hex()
std::vector<SecretForm> SecretForms() {
    std::vector<SecretForm> forms = {
        {"the password", kPassword},
        {"the AI credentials (Base64 of user:password)", "YWRtaW46S3g5LVNlY3JldC1RdW9ra2EtNzc="},
        {"the password in Base64", "S3g5LVNlY3JldC1RdW9ra2EtNzc="},
        {"the password's MD5 (lower case)", "aab4ca8e323883da86192b9f7f3651c9"},
        {"the password's MD5 (upper case)", "AAB4CA8E323883DA86192B9F7F3651C9"},
        {"the login digest for session 4242",
         Bytes({0x12, 0x56, 0x93, 0x22, 0xe3, 0xa5, 0xd1, 0x87, 0xfc, 0xa2,
                0xe9, 0x2e, 0x52, 0xf9, 0xe8, 0xb6, 0x1b, 0x37, 0x0b, 0x0d})},
        {"the login digest for session 777",
         Bytes({0x07, 0xd9, 0xe2, 0xe5, 0x0e, 0x00, 0x2a, 0x6e, 0x40, 0x1c,
                0x45, 0x26, 0x25, 0x34, 0x72, 0xa3, 0x34, 0xd9, 0x05, 0x0a})},
        {"the password disguised by XOR",
         Bytes({0x5a, 0x5a, 0x0a, 0x69, 0x42, 0x47, 0x50, 0x36, 0x74, 0x56,
                0x1e, 0x15, 0x64, 0x4d, 0x58, 0x2f, 0x70, 0x0f, 0x04, 0x73})},
    };
    const size_t count = forms.size();
    for (size_t i = 0; i < count; ++i) {
        forms.push_back({forms[i].what + " as hex", Hex(forms[i].bytes, false)});
        forms.push_back({forms[i].what + " as HEX", Hex(forms[i].bytes, true)});
    }
    return forms;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void ExpectNoSecret(const std::string& where, const std::string& text) {
    static const std::vector<SecretForm> forms = SecretForms();
    for (const SecretForm& form : forms) {
        EXPECT_TRUE(text.find(form.bytes) == std::string::npos) << form.what << " found in " << where;
    }
}

// Created by the program, the owner's alone.
void ExpectOwnerOnly(const fs::path& path) {
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0) << path << " was not written";
    EXPECT_EQ(info.st_mode & 0777, 0600u) << path;
}

class CamprepSecrets : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/camprep-secrets-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // The settings of the four devices; the password comes from
        // camsim's command line.
        const nlohmann::json fleet = {
            {"count", 4},
            {"defaults",
             {{"softwareVer", "5.0.0.0"},
              {"behaviour", {{"pieceDelayMs", 0}, {"writeImageMs", 0}}}}},
            {"devices",
             {{{"greeting", {{"digestMode", 0}}}},
              {{"greeting", {{"digestMode", 1}, {"sessionNumber", kDigestSession}}}},
              {{"greeting",
                {{"digestMode", 2}, {"sessionNumber", kScrambledSession}, {"encrypted", true}}}},
              {{"greeting", {{"transformMode", 0x10000}, {"transformKey", kXorKey}}}}}}};
        std::ofstream(m_dir / "fleet.json") << fleet.dump();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Starts camsim with its own diagnostics file; true once every device
    // listens.
    bool StartCamsim() {
        ::setenv("CAMPREP_DIAG", (m_dir / "camsim.diag").c_str(), 1);
        const bool started = m_camsim.Start({"--fleet", (m_dir / "fleet.json").string(), "--password",
                                             kPassword, "--store", (m_dir / "store").string()},
                                            4);
        ::unsetenv("CAMPREP_DIAG");
        return started;
    }

    // Runs camprep with the diagnostics channel writing to a file of its own.
    cli_test::ProcessResult Camprep(const std::string& diagName, std::vector<std::string> args) {
        for (const std::string& device : m_camsim.Devices()) {
            args.push_back("--device");
            args.push_back(device);
        }
        ::setenv("CAMPREP_DIAG", (m_dir / diagName).c_str(), 1);
        cli_test::ProcessResult run = cli_test::RunProcess(CAMPREP_BIN, args);
        ::unsetenv("CAMPREP_DIAG");
        return run;
    }

    fs::path m_dir;
    clitest::CamsimProcess m_camsim;
};

TEST_F(CamprepSecrets, NoFormOfThePasswordAppearsAnywhere) {
    ASSERT_TRUE(StartCamsim());
    const std::string data = CAMPREP_TEST_DATA_DIR;

    // Push, the password from a file.
    std::ofstream(m_dir / "password") << kPassword << "\n";
    const cli_test::ProcessResult push = Camprep(
        "push.diag", {"push", "--json", "--fac", data + "/fac/full.fac", "--password-file",
                      (m_dir / "password").string()});
    EXPECT_EQ(push.exitStatus, 0) << push.out << push.err;

    // Upgrade, the password from the environment.
    ::setenv("CAMPREP_PASSWORD", kPassword, 1);
    const cli_test::ProcessResult upgrade = Camprep(
        "upgrade.diag",
        {"upgrade", "--json", "--no-prepare", "--package", data + "/fwbatch/sw_250.pkg"});
    ::unsetenv("CAMPREP_PASSWORD");
    EXPECT_EQ(upgrade.exitStatus, 0) << upgrade.out << upgrade.err;

    // AI versions, the password on the command line.
    const cli_test::ProcessResult ai =
        Camprep("ai.diag", {"ai-version", "--json", "--no-prepare", "--password", kPassword});
    EXPECT_EQ(ai.exitStatus, 0) << ai.out << ai.err;

    const std::string camsimOut = m_camsim.Stop();

    // Every device took every login, each in its own form: the password
    // did go on the wire, in each of the forms looked for below. Four: the
    // push's, the upgrade's, the upgrade's check of the new version and the
    // AI query's.
    const char* const forms[] = {"plain", "digest1", "digest2", "transform"};
    for (size_t i = 0; i < 4; ++i) {
        const fs::path records = m_dir / "store" / ("device-" + std::to_string(i)) / "records.json";
        const nlohmann::json doc = nlohmann::json::parse(ReadFile(records));
        ASSERT_EQ(doc["logins"].size(), 4u) << records;
        for (const auto& login : doc["logins"]) {
            EXPECT_TRUE(login["accepted"].get<bool>()) << records;
            EXPECT_EQ(login["form"], forms[i]) << records;
        }
    }

    for (const auto& [name, run] : {std::pair{"push", &push}, {"upgrade", &upgrade}, {"ai-version", &ai}}) {
        ExpectNoSecret(std::string("camprep ") + name + "'s output", run->out);
        ExpectNoSecret(std::string("camprep ") + name + "'s errors", run->err);
    }
    for (const char* diag : {"push.diag", "upgrade.diag", "ai.diag", "camsim.diag"}) {
        ExpectOwnerOnly(m_dir / diag);
        const std::string text = ReadFile(m_dir / diag);
        EXPECT_FALSE(text.empty()) << diag << ": the channel wrote nothing";
        ExpectNoSecret(diag, text);
    }
    ExpectNoSecret("camsim's output", camsimOut);
    size_t stored = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_dir / "store")) {
        if (entry.is_regular_file()) {
            ++stored;
            ExpectNoSecret(entry.path().string(), ReadFile(entry.path()));
        }
    }
    EXPECT_GT(stored, 4u);  // devices.json, the records, the payloads and images
}

}  // namespace
