// How a connect time-out is cut into waiting slices.

#include <gtest/gtest.h>

#include "common/link/SWL_ConnectProc.h"

namespace {

using Slices = std::vector<uint32_t>;

TEST(ConnectSlices, WholeSecondsThenTheRest) {
    EXPECT_EQ(ConnectSlices(2500), (Slices{1000, 1000, 500}));
    EXPECT_EQ(ConnectSlices(3000), (Slices{1000, 1000, 1000}));
    EXPECT_EQ(ConnectSlices(1001), (Slices{1000, 1}));
    EXPECT_EQ(ConnectSlices(999), (Slices{999}));
    EXPECT_TRUE(ConnectSlices(0).empty());
}

TEST(ConnectSlices, CallersTimeOutsAddUp) {
    for (const uint32_t timeout : {3000u, 8000u, 20000u, 12345u}) {
        uint64_t sum = 0;
        for (const uint32_t s : ConnectSlices(timeout)) {
            EXPECT_GT(s, 0u);
            EXPECT_LE(s, CConnectProc::kSliceMs);
            sum += s;
        }
        EXPECT_EQ(sum, timeout);
    }
}

}  // namespace
