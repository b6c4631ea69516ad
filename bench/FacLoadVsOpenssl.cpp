// Loading a large factory configuration package and building its items
// (unscramble the file, decipher the common and the product block, read
// every configuration line) against `openssl enc -d -des-cbc` deciphering
// the same enciphered blocks as a whole process. The package is made here:
// about half its size common text, half one product's text, lines of the
// shape real packages have.
//
//   fac_load_vs_openssl [package MiB]   (default 20)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FacWriter.h"
#include "cfgpush/engine/FactoryItems.h"
#include "ChildRun.h"

namespace {

std::vector<uint8_t> ConfigText(const char* prefix, size_t bytes) {
    std::string text = "[IPCamera-Config-File]\r\n";
    char line[96];
    for (size_t i = 0; text.size() < bytes; ++i) {
        std::snprintf(line, sizeof line, "%s.param_%07zu=value_%07zu_abcdefgh\r\n", prefix, i, i * 7);
        text += line;
    }
    return {text.begin(), text.end()};
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const int mebibytes = argc > 1 ? std::atoi(argv[1]) : 20;
    if (mebibytes < 1) {
        std::fprintf(stderr, "usage: %s [package MiB]\n", argv[0]);
        return 2;
    }
    const size_t half = static_cast<size_t>(mebibytes) * 1024 * 1024 / 2;
    cfgpush::FacPackageSource source;
    source.customerCode = "BENCH";
    source.commonText = ConfigText("common", half);
    source.products.push_back({"IPC-BENCH", ConfigText("product", half)});
    std::vector<uint8_t> file;
    std::string problem;
    const std::string facPath = "/tmp/fac-load-bench.fac";
    const std::string desPath = "/tmp/fac-load-bench.des";
    if (!cfgpush::BuildFacPackage(source, file, problem) || !WriteFile(facPath, file.data(), file.size())) {
        std::fprintf(stderr, "could not make the package: %s\n", problem.c_str());
        return 1;
    }

    // The enciphered blocks, one after the other, for openssl.
    cfgpush::FacPackage package;
    if (package.Load(facPath) != cfgpush::FacLoadResult::kLoaded || package.ProductTypes().empty()) {
        std::fprintf(stderr, "the package does not load\n");
        return 1;
    }
    std::vector<uint8_t> blocks;
    for (const cfgpush::FAC_BLOCK_INFO* b : {&package.Customer(), &package.ProductTypes().begin()->second}) {
        const auto bytes = package.FileBytes().subspan(static_cast<size_t>(b->offset), static_cast<size_t>(b->length));
        blocks.insert(blocks.end(), bytes.begin(), bytes.end());
    }
    WriteFile(desPath, blocks.data(), blocks.size());
    const int32_t entry = package.ProductTypes().begin()->first;

    // The best of three for each, so a moment of other load does not count.
    double ours = 1e9;
    size_t items = 0;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        cfgpush::FacPackage p;
        cfgpush::FactoryItemLists lists;
        const bool ok = p.Load(facPath) == cfgpush::FacLoadResult::kLoaded && cfgpush::BuildItemLists(p, entry, lists);
        ours = std::min(ours, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!ok) {
            std::fprintf(stderr, "load or item build failed\n");
            return 1;
        }
        items = lists.m_itemList.size();
    }
    // Where the time goes, for the record.
    {
        const auto t0 = std::chrono::steady_clock::now();
        cfgpush::FacPackage p;
        p.Load(facPath);
        const auto t1 = std::chrono::steady_clock::now();
        const auto common = p.DecipherBlock(p.Customer());
        const auto product = p.DecipherBlock(p.ProductTypes().begin()->second);
        const auto t2 = std::chrono::steady_clock::now();
        cfgpush::FactoryItemLists lists;
        cfgpush::BuildItemLists(p, entry, lists);
        const auto t3 = std::chrono::steady_clock::now();
        const auto s = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
        std::printf("read and unscramble %.3f s; decipher both blocks %.3f s; item build (deciphering again) %.3f s\n",
                    s(t0, t1), s(t1, t2), s(t2, t3));
        if (common.empty() || product.empty()) return 1;
    }
    double openssl = 1e9;
    for (int i = 0; i < 3; ++i) {
        const bench::ChildRun run = bench::RunChild(
            {"/usr/bin/openssl", "enc", "-d", "-des-cbc", "-provider", "legacy", "-provider", "default", "-K",
             "796c6375646b6766", "-iv", "6871777a7065786d", "-in", desPath, "-out", "/dev/null"},
            0);
        if (run.exitStatus != 0) {
            std::fprintf(stderr, "openssl failed\n");
            return 1;
        }
        openssl = std::min(openssl, run.wall);
    }
    std::printf("package %.1f MiB (%zu items), enciphered blocks %.1f MiB\n", file.size() / 1048576.0, items,
                blocks.size() / 1048576.0);
    std::printf("load and item build %.3f s; openssl enc -d -des-cbc %.3f s; ratio %.2f\n", ours, openssl,
                ours / openssl);
    std::remove(facPath.c_str());
    std::remove(desPath.c_str());
    bench::PrintResult(bench::Format(".fac load and item build of a %d MiB package", mebibytes),
                       bench::Format("%.3f s (%.2fx)", ours, ours / openssl),
                       bench::Format("openssl enc -d -des-cbc, whole process: %.3f s", openssl), "<= 1.5x",
                       ours <= 1.5 * openssl);
    return 0;
}
