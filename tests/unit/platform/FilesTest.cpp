// Whole files by UTF-8 name: written in place of an existing file (where
// Windows' rename would refuse), read back, and the failures that leave
// nothing behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/platform/Files.h"

namespace {

namespace fs = std::filesystem;

// A path's UTF-8 text, as the programs hold file names.
std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder =
            fs::temp_directory_path() / ("camprep-files-" + std::to_string(std::random_device{}()));
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // A name in Chinese and with an accent, as UTF-8.
    std::string Utf8Path(const char* name) const {
        return Utf8(m_folder / fs::path(reinterpret_cast<const char8_t*>(name)));
    }
    std::string Read(const std::string& path) {
        std::vector<uint8_t> bytes;
        int error = 0;
        EXPECT_EQ(platform::ReadRegularFile(path, 1 << 20, bytes, error),
                  platform::FileReadResult::kOk)
            << error;
        return std::string(bytes.begin(), bytes.end());
    }

    fs::path m_folder;
};

TEST_F(Files, WrittenOverAnExistingFileUnderAUtf8Name) {
    const std::string path = Utf8Path("报告-é.csv");
    int error = 0;
    ASSERT_TRUE(platform::WriteFileReplacing(path, "first\n", error)) << error;
    ASSERT_TRUE(platform::WriteFileReplacing(path, "second, longer\n", error)) << error;
    EXPECT_EQ(Read(path), "second, longer\n");
    ASSERT_TRUE(platform::WriteFileReplacing(path, "", error)) << error;
    EXPECT_EQ(Read(path), "");
    // Only the file itself is left: no temporary beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 1);
}

TEST_F(Files, FailuresSayWhyAndLeaveNothing) {
    int error = 0;
    EXPECT_FALSE(platform::WriteFileReplacing(Utf8Path("missing/file.fac"), "x", error));
    EXPECT_EQ(error, ENOENT);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(platform::ReadRegularFile(Utf8Path("absent.fac"), 100, bytes, error),
              platform::FileReadResult::kCannotRead);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform::ReadRegularFile(Utf8(m_folder), 100, bytes, error),
              platform::FileReadResult::kCannotRead);
    EXPECT_EQ(error, EISDIR);
    ASSERT_TRUE(platform::WriteFileReplacing(Utf8Path("big"), std::string(101, 'x'), error));
    EXPECT_EQ(platform::ReadRegularFile(Utf8Path("big"), 100, bytes, error),
              platform::FileReadResult::kTooLarge);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 1);
}

TEST(FilePaths, AbsolutePathsOfTheSystem) {
    struct Case {
        const char* path;
        bool absolute;
    };
    const Case cases[] = {
        {"/var/log/camprep.log", true},
        {"camprep.log", false},
        {"", false},
#ifdef _WIN32
        {"C:\\Users\\line\\camprep.log", true},
        {"d:/logs/camprep.log", true},
        {"\\\\server\\share\\camprep.log", true},
        {"C:camprep.log", false},
#else
        {"C:\\Users\\line\\camprep.log", false},
#endif
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::IsAbsolutePath(c.path), c.absolute) << c.path;
    }
}

}  // namespace
