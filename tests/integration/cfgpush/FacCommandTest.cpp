// `camprep fac pack` and `camprep fac inspect` as a user runs them, against
// the packages made by tests/data/fac/make_packages.py: pack must give the
// script's bytes for the same inputs, inspect must show what the script
// meant each package to hold.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ProcessRun.h"

namespace {

using cli_test::ProcessResult;
using nlohmann::json;

const std::string kDataDir = std::string(CAMPREP_TEST_DATA_DIR) + "/fac/";
constexpr char kBadFormatEn[] = "The configuration file is not in the correct format!\n";
constexpr char kBadFormatZh[] = "配置文件格式不正确！\n";
constexpr char kIncorrectEn[] = "The configuration file is incorrect!\n";
constexpr char kIncorrectZh[] = "配置文件有误！\n";

ProcessResult Camprep(const std::vector<std::string>& args,
                      const std::vector<std::string>& locale = {"LC_ALL=en_US.UTF-8"}) {
    return cli_test::RunProcess(CAMPREP_BIN, args, locale);
}

const json& Manifest() {
    static const json manifest = [] {
        std::ifstream in(kDataDir + "packages.json");
        return json::parse(in);
    }();
    return manifest;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

class TempDir {
public:
    TempDir() {
        char path[] = "/tmp/camprep-fac-XXXXXX";
        m_path = mkdtemp(path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::vector<std::string> PackArgs(const json& pack, const std::string& output) {
    const std::string inputs = kDataDir + "inputs/";
    std::vector<std::string> args{"fac",        "pack",
                                  "--customer", pack["customer"].get<std::string>(),
                                  "--common",   inputs + pack["common"].get<std::string>()};
    for (const auto& picture : pack["pictures"]) {
        args.push_back("--picture");
        args.push_back(picture[0].get<std::string>() + "=" + inputs +
                       picture[1].get<std::string>());
    }
    for (const auto& product : pack["products"]) {
        args.push_back("--product");
        args.push_back(product[0].get<std::string>() + "=" + inputs +
                       product[1].get<std::string>());
    }
    args.push_back("--output");
    args.push_back(output);
    return args;
}

TEST(FacPack, SameBytesAsTheIndependentScript) {
    TempDir dir;
    int checked = 0;
    for (const auto& [name, expect] : Manifest().items()) {
        if (!expect.contains("pack")) {
            continue;
        }
        SCOPED_TRACE(name);
        const std::string output = dir.File(name);
        const ProcessResult run = Camprep(PackArgs(expect["pack"], output));
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_NE(run.out.find(output), std::string::npos);
        EXPECT_EQ(ReadFile(output), ReadFile(kDataDir + name));
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

TEST(FacPack, RefusalsLeaveNoOutput) {
    TempDir dir;
    const std::string output = dir.File("out.fac");
    const std::string common = kDataDir + "inputs/small-common.txt";

    ProcessResult run = Camprep({"fac", "pack", "--customer", std::string(64, 'c'), "--common",
                                 common, "--output", output});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("customer code"), std::string::npos) << run.err;

    run = Camprep({"fac", "pack", "--customer", "C", "--common", common, "--product", "noequals",
                   "--output", output});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("NAME=FILE"), std::string::npos) << run.err;

    run = Camprep({"fac", "pack", "--customer", "C", "--common", common, "--product",
                   "A=" + dir.File("missing.txt"), "--output", output});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("missing.txt"), std::string::npos) << run.err;

    run = Camprep({"fac", "pack", "--customer", "C", "--common", dir.File("missing.txt"),
                   "--output", output});
    EXPECT_EQ(run.exitStatus, 2);

    run = Camprep({"fac", "pack", "--customer", "C", "--common", common});  // no --output
    EXPECT_EQ(run.exitStatus, 2);

    run = Camprep({"fac", "pack", "--customer", "C", "--common", common, "--output",
                   dir.File("no-such-dir/out.fac")});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;

    EXPECT_FALSE(Exists(output));
}

TEST(FacPack, WarnsAboutPartsCfgpushWouldNotUse) {
    TempDir dir;
    const std::string output = dir.File("out.fac");
    const std::string inputs = kDataDir + "inputs/";
    const ProcessResult run =
        Camprep({"fac", "pack", "--customer", "C", "--common", inputs + "pictures/title.jpg",
                 "--picture", "logo.png=" + inputs + "pictures/title.jpg", "--product",
                 "A=" + inputs + "small-a.txt", "--output", output});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("common block"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("logo.png"), std::string::npos) << run.err;
    // Inspecting it then fails at the items, as a push would.
    const ProcessResult inspect = Camprep({"fac", "inspect", output});
    EXPECT_EQ(inspect.exitStatus, 2);
    EXPECT_EQ(inspect.err, kIncorrectEn);
}

void ExpectJsonAsIntended(const json& got, const json& expect, const std::string& productType) {
    EXPECT_EQ(got["customer_code"], expect["customer_code"]);
    EXPECT_EQ(got["pictures_present"].get<bool>(), expect["pictures_present"].get<int>() == 1);
    ASSERT_EQ(got["pictures"].size(), expect["pictures"].size());
    for (const json& picture : got["pictures"]) {
        const json& want = expect["pictures"][picture["kind"].get<std::string>()];
        EXPECT_EQ(picture["name"], want["name"]);
        EXPECT_EQ(picture["length"], want["length"]);
    }
    ASSERT_EQ(got["product_types"].size(), expect["box_order"].size());
    for (size_t i = 0; i < got["product_types"].size(); ++i) {
        const json& type = got["product_types"][i];
        EXPECT_EQ(type["name"], expect["box_order"][i]);
        bool found = false;
        for (const json& product : expect["products"]) {
            if (product["name"] == type["name"]) {
                EXPECT_EQ(type["entry"], product["entry"]);
                found = true;
            }
        }
        EXPECT_TRUE(found) << type;
    }
    EXPECT_EQ(got["product_type"]["name"].get<std::string>(), productType);
    const json& items = expect["items"][productType];
    ASSERT_EQ(got["items"].size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(got["items"][i]["line"], items[i][0]) << i;
        EXPECT_EQ(got["items"][i]["key"], items[i][1]) << i;
        EXPECT_EQ(got["items"][i]["value"], items[i][2]) << i;
    }
}

TEST(FacInspect, JsonShowsWhatTheScriptPacked) {
    int checked = 0;
    for (const auto& [name, expect] : Manifest().items()) {
        if (expect["load"] != "loaded") {
            continue;
        }
        for (const auto& [productType, items] : expect["items"].items()) {
            SCOPED_TRACE(name + " / " + productType);
            const ProcessResult run = Camprep(
                {"fac", "inspect", kDataDir + name, "--product-type", productType, "--json"});
            ASSERT_EQ(run.exitStatus, 0) << run.err;
            ExpectJsonAsIntended(json::parse(run.out), expect, productType);
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}

TEST(FacInspect, DefaultProductTypeIsTheFirstInBoxOrder) {
    const ProcessResult run = Camprep({"fac", "inspect", kDataDir + "small.fac", "--json"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const json got = json::parse(run.out);
    EXPECT_EQ(got["product_type"], (json{{"name", "IPC-A"}, {"entry", 1}}));
    ExpectJsonAsIntended(got, Manifest()["small.fac"], "IPC-A");
}

TEST(FacInspect, TextForPeople) {
    const ProcessResult run = Camprep({"fac", "inspect", kDataDir + "full.fac"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("Customer code:  \"CUST-0042\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("title_logo     \"title_icon.png\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Items for \"dome-x\" (entry 2): 15"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("key \"  k \""), std::string::npos) << run.out;
    // The LF-only text is one line, its LFs shown escaped.
    const ProcessResult lf = Camprep({"fac", "inspect", kDataDir + "lf_only.fac"});
    ASSERT_EQ(lf.exitStatus, 0) << lf.err;
    EXPECT_NE(lf.out.find("key \"[IPCamera-Config-File]\\na\""), std::string::npos) << lf.out;
}

TEST(FacInspect, BadPackagesInBothLanguages) {
    int checked = 0;
    for (const auto& [name, expect] : Manifest().items()) {
        if (expect["load"] != "bad_format") {
            continue;
        }
        SCOPED_TRACE(name);
        ProcessResult run = Camprep({"fac", "inspect", kDataDir + name});
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.err, kBadFormatEn);
        EXPECT_EQ(run.out, "");
        run = Camprep({"fac", "inspect", "--json", kDataDir + name}, {"LANG=zh_CN.UTF-8"});
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.err, kBadFormatZh);
        EXPECT_EQ(run.out, "");
        ++checked;
    }
    EXPECT_GE(checked, 12);
}

TEST(FacInspect, BlocksThatFailAtTheItems) {
    int checked = 0;
    for (const auto& [name, expect] : Manifest().items()) {
        if (!expect.contains("items_fail")) {
            continue;
        }
        for (const auto& productType : expect["items_fail"]) {
            SCOPED_TRACE(name + " / " + productType.get<std::string>());
            ProcessResult run = Camprep({"fac", "inspect", kDataDir + name, "--product-type",
                                         productType.get<std::string>()});
            EXPECT_EQ(run.exitStatus, 2);
            EXPECT_EQ(run.err, kIncorrectEn);
            run = Camprep({"fac", "inspect", kDataDir + name, "--product-type",
                           productType.get<std::string>()},
                          {"LC_MESSAGES=zh_TW.UTF-8", "LANG=en_US.UTF-8"});
            EXPECT_EQ(run.exitStatus, 2);
            EXPECT_EQ(run.err, kIncorrectZh);
            ++checked;
        }
    }
    EXPECT_GE(checked, 6);
}

TEST(FacInspect, UsageErrors) {
    ProcessResult run = Camprep({"fac", "inspect", kDataDir + "no-such.fac"});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("cannot open"), std::string::npos) << run.err;

    run = Camprep({"fac", "inspect", kDataDir + "small.fac", "--product-type", "IPC-C"});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("\"IPC-A\", \"IPC-B\""), std::string::npos) << run.err;

    run = Camprep({"fac", "inspect"});
    EXPECT_EQ(run.exitStatus, 2);
    run = Camprep({"fac"});
    EXPECT_EQ(run.exitStatus, 2);
}

}  // namespace
