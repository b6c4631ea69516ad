#pragma once
// Runs a program to its end and collects its exit status and output.

#include <string>
#include <vector>

namespace cli_test {

struct ProcessResult {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in the test's environment, with the locale
// variables (LC_ALL, LC_MESSAGES, LANG, LANGUAGE) replaced by `locale`
// entries such as "LANG=zh_CN.UTF-8".
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& locale = {"LC_ALL=en_US.UTF-8"});

}  // namespace cli_test
