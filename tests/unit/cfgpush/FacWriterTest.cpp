// The package writer against the script's packages (same inputs, same
// bytes), and its DES-CBC encryption against the openssl command line's
// vectors in tests/data/crypto/des_cbc.txt.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "FacTestSupport.h"
#include "cfgpush/engine/FacFormat.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FacWriter.h"
#include "common/crypto/DesCbc.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    if (hex == "-") {
        return bytes;
    }
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(EncryptDesCbc, OpensslVectors) {
    std::ifstream in(std::string(CAMPREP_TEST_DATA_DIR) + "/crypto/des_cbc.txt");
    ASSERT_TRUE(in);
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string plainHex;
        std::string cipherHex;
        fields >> plainHex >> cipherHex;
        std::vector<uint8_t> cipher;
        ASSERT_TRUE(
            crypto::EncryptDesCbc(kFacDesIvText, kFacDesKeyText, FromHex(plainHex), cipher));
        EXPECT_EQ(cipher, FromHex(cipherHex)) << plainHex;
        ++rows;
    }
    EXPECT_GE(rows, 10);
    std::vector<uint8_t> cipher{1};
    EXPECT_FALSE(crypto::EncryptDesCbc("short", kFacDesKeyText, std::vector<uint8_t>{1}, cipher));
    EXPECT_TRUE(cipher.empty());
}

TEST(FacScramble, ShiftsByDistanceFromTheMagic) {
    std::vector<uint8_t> bytes{0x00, 0x00, 0xF0, 0xC0, 0x11};
    cfgpush::ScrambleFacBytes(bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x27, 0x47, 0x17, 0x07, 0x38}));
    cfgpush::UnscrambleFacBytes(bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x00, 0xF0, 0xC0, 0x11}));
}

cfgpush::FacPackageSource SourceOf(const nlohmann::json& pack) {
    cfgpush::FacPackageSource source;
    source.customerCode = pack["customer"].get<std::string>();
    source.commonText = fac_test::ReadDataFile("inputs/" + pack["common"].get<std::string>());
    for (const auto& picture : pack["pictures"]) {
        source.pictures.push_back(
            {picture[0].get<std::string>(),
             fac_test::ReadDataFile("inputs/" + picture[1].get<std::string>())});
    }
    for (const auto& product : pack["products"]) {
        source.products.push_back(
            {product[0].get<std::string>(),
             fac_test::ReadDataFile("inputs/" + product[1].get<std::string>())});
    }
    return source;
}

TEST(FacWriter, SameBytesAsTheScript) {
    int checked = 0;
    for (const auto& [name, expect] : fac_test::Manifest().items()) {
        if (!expect.contains("pack")) {
            continue;
        }
        SCOPED_TRACE(name);
        std::vector<uint8_t> file;
        std::string problem;
        ASSERT_TRUE(cfgpush::BuildFacPackage(SourceOf(expect["pack"]), file, problem)) << problem;
        EXPECT_EQ(file, fac_test::ReadDataFile(name));
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

TEST(FacWriter, RefusesNamesLongerThan63Bytes) {
    cfgpush::FacPackageSource source;
    source.commonText = fac_test::Bytes("[IPCamera-Config-File]\r\n");
    source.customerCode = std::string(63, 'c');
    source.products.push_back({std::string(63, 'p'), fac_test::Bytes("x")});
    source.pictures.push_back({std::string(63, 'i') + "icon", fac_test::Bytes("x")});
    std::vector<uint8_t> file;
    std::string problem;
    EXPECT_FALSE(cfgpush::BuildFacPackage(source, file, problem));
    EXPECT_NE(problem.find("picture name"), std::string::npos);
    EXPECT_TRUE(file.empty());

    source.pictures.clear();
    ASSERT_TRUE(cfgpush::BuildFacPackage(source, file, problem)) << problem;
    cfgpush::FacPackage package;
    ASSERT_EQ(package.LoadBytes(file), cfgpush::FacLoadResult::kLoaded);
    EXPECT_EQ(package.CustomerCode(), std::string(63, 'c'));

    source.customerCode += "c";
    EXPECT_FALSE(cfgpush::BuildFacPackage(source, file, problem));
    EXPECT_NE(problem.find("customer code"), std::string::npos);
}

// Empty texts still make blocks (one padding block), so the entry is listed.
TEST(FacWriter, EmptyTextsGiveOnePaddingBlock) {
    cfgpush::FacPackageSource source;
    source.products.push_back({"empty", {}});
    std::vector<uint8_t> file;
    std::string problem;
    ASSERT_TRUE(cfgpush::BuildFacPackage(source, file, problem));
    cfgpush::FacPackage package;
    ASSERT_EQ(package.LoadBytes(file), cfgpush::FacLoadResult::kLoaded);
    EXPECT_EQ(package.Customer().length, 8);
    ASSERT_NE(package.FindProduct(0), nullptr);
    EXPECT_EQ(package.FindProduct(0)->length, 8);
}

}  // namespace
