#include "common/platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Diagnostics, SinkReceivesFormattedTextAndCanBeRemoved) {
    std::vector<std::string> seen;
    platform::SetDiagSink([&](const std::string& t) { seen.push_back(t); });
    EXPECT_TRUE(platform::DiagEnabled());
    platform::DiagPrintf("begin Connect %d\n", 42);
    platform::DiagPrintf("%s", std::string(5000, 'x').c_str());  // longer than any fixed buffer
    platform::SetDiagSink({});
    platform::DiagPrintf("not seen %d\n", 1);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "begin Connect 42\n");
    EXPECT_EQ(seen[1].size(), 5000u);
}

TEST(Diagnostics, ConcurrentWritersKeepEachTextWhole) {
    std::vector<std::string> seen;
    platform::SetDiagSink([&](const std::string& t) { seen.push_back(t); });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) platform::DiagPrintf("thread %d line %d\n", t, i);
        });
    }
    for (auto& th : threads) th.join();
    platform::SetDiagSink({});
    ASSERT_EQ(seen.size(), 800u);
    for (const auto& s : seen) EXPECT_EQ(s.rfind("thread ", 0), 0u);
}

}  // namespace
