// Running another program (what the adapter helper's callers do) and the
// user's state folder (where diagnostics files go).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/platform/ChildProcess.h"
#include "common/platform/UserDirectories.h"

namespace {

TEST(ChildProcess, StatusAndBothStreams) {
    const platform::ChildRun run =
        platform::RunChild("/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}, 10000);
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.out, "out\n");
    EXPECT_EQ(run.err, "err\n");
}

TEST(ChildProcess, AMissingProgramAndOneThatOutlivesItsLimit) {
    const platform::ChildRun missing = platform::RunChild("/nonexistent/helper", {}, 1000);
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.error, ENOENT);
    // Killed at the limit, even with its output still open.
    const platform::ChildRun slow = platform::RunChild("/bin/sleep", {"30"}, 100);
    EXPECT_TRUE(slow.started);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_EQ(slow.exitStatus, -1);
    EXPECT_TRUE(platform::CanExecute("/bin/sh"));
    const std::string plain = ::testing::TempDir() + "plain" + std::to_string(getpid());
    std::fclose(std::fopen(plain.c_str(), "w"));
    chmod(plain.c_str(), 0644);
    EXPECT_FALSE(platform::CanExecute(plain));
    std::remove(plain.c_str());
    EXPECT_EQ(platform::ProgramName(), "platform_unit_tests");
}

TEST(UserDirectories, StateFolderFromTheEnvironmentAndMadeForTheUserOnly) {
    const std::string folder = ::testing::TempDir() + "state" + std::to_string(getpid());
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
    EXPECT_EQ(platform::UserStateDirectory(), folder);
    setenv("XDG_STATE_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/tech", 1);
    EXPECT_EQ(platform::UserStateDirectory(), "/home/tech/.local/state");
    unsetenv("XDG_STATE_HOME");

    const std::string nested = folder + "/camprep/deeper";
    ASSERT_TRUE(platform::MakeUserDirectory(nested));
    ASSERT_TRUE(platform::MakeUserDirectory(nested));  // there already
    struct stat info {};
    ASSERT_EQ(stat((folder + "/camprep").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(platform::MakeUserDirectory("/etc/hostname/below"));
    std::system(("rm -rf " + folder).c_str());
}

}  // namespace
