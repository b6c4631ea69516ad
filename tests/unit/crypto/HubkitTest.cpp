#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "hubkit/Hubkit.h"

namespace {

TEST(Hubkit, CountsRegistrationsPerTypeNameAndKeepsTheLatest) {
    int first = 0;
    int second = 0;
    EXPECT_EQ(hubkit::RegistrationCount("HubkitTestType"), 0u);
    EXPECT_EQ(hubkit::LastInstance("HubkitTestType"), nullptr);
    HUBKIT_CreateSingleton(&first, "HubkitTestType");
    HUBKIT_CreateSingleton(&second, "HubkitTestType");
    HUBKIT_CreateSingleton(&first, "HubkitOtherType");
    EXPECT_EQ(hubkit::RegistrationCount("HubkitTestType"), 2u);
    EXPECT_EQ(hubkit::LastInstance("HubkitTestType"), &second);
    EXPECT_EQ(hubkit::RegistrationCount("HubkitOtherType"), 1u);
}

TEST(Hubkit, NullTypeNameIsRecordedUnderEmptyName) {
    int object = 0;
    const size_t before = hubkit::RegistrationCount("");
    HUBKIT_CreateSingleton(&object, nullptr);
    EXPECT_EQ(hubkit::RegistrationCount(nullptr), before + 1);
    EXPECT_EQ(hubkit::LastInstance(""), &object);
}

TEST(Hubkit, ConcurrentRegistrationsAreAllCounted) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 250; ++i)
                HUBKIT_CreateSingleton(nullptr, "HubkitRaceType");
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(hubkit::RegistrationCount("HubkitRaceType"), 1000u);
}

}  // namespace
