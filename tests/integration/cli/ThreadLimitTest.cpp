// camprep with no thread to spare: run as an unprivileged user whose process
// limit (ulimit -u) is already reached, every thread it starts is refused.
// Each device must still end with its failure result and camprep exit 1:
// never a crash, never a success, never a wait without end.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "ProcessRun.h"
#include "tests/integration/cli/CamsimProcess.h"

namespace {

TEST(CamprepThreadLimit, EveryDeviceFailsWhenNoThreadCanStart) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run camprep as another user";
    }
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer's runtime needs a thread of its own";
#endif
    // LeakSanitizer's check at exit needs a thread too.
    ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    // camprep and its files where the other user can reach them, wherever
    // the build lives.
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/camprep-threads-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    ::chmod(pattern, 0755);
    const std::string data = CAMPREP_TEST_DATA_DIR;
    fs::copy_file(CAMPREP_BIN, dir / "camprep");
    fs::copy_file(data + "/fwbatch/sw_250.pkg", dir / "sw.pkg");
    fs::copy_file(data + "/fac/full.fac", dir / "full.fac");
    clitest::CamsimProcess camsim;
    ASSERT_TRUE(camsim.Start({"--devices", "2"}, 2));
    struct Case {
        std::vector<std::string> command;
        int code;  // every device's
    };
    const Case cases[] = {
        {{"upgrade", "--no-prepare", "--package", (dir / "sw.pkg").string()},
         5},                                                   // "Upgrade failed!"
        {{"push", "--fac", (dir / "full.fac").string()}, -2},  // "Failed!"
        {{"ai-version", "--no-prepare"}, 12},
    };
    for (const Case& c : cases) {
        // The limit counts the user's processes and threads: the process
        // itself is the one it allows.
        std::vector<std::string> args{"--nproc=1",
                                      "--",
                                      "setpriv",
                                      "--reuid=65534",
                                      "--regid=65534",
                                      "--clear-groups",
                                      (dir / "camprep").string()};
        args.insert(args.end(), c.command.begin(), c.command.end());
        args.push_back("--json");
        for (const std::string& device : camsim.Devices()) {
            args.push_back("--device");
            args.push_back(device);
        }
        const cli_test::ProcessResult run = cli_test::RunProcess("/usr/bin/prlimit", args);
        SCOPED_TRACE(c.command[0] + ": " + run.out + run.err);
        EXPECT_EQ(run.exitStatus, 1);
        const nlohmann::json results = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_TRUE(results.is_array());
        ASSERT_EQ(results.size(), camsim.Devices().size());
        for (const auto& r : results) {
            EXPECT_EQ(r["code"], c.code);
        }
    }
    camsim.Stop();
    ::unsetenv("ASAN_OPTIONS");
    fs::remove_all(dir);
}

}  // namespace
