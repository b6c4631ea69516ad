#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <latch>
#include <thread>
#include <typeinfo>
#include <vector>

#include "common/crypto/CDataEncryption.h"
#include "hubkit/Hubkit.h"

namespace {

TEST(CDataEncryptionInstance, RacingThreadsGetOneInstanceRegisteredOnce) {
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<CDataEncryption*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();  // all ask at once
            seen[t] = &CDataEncryption::Instance();
        });
    }
    for (auto& th : threads)
        th.join();

    CDataEncryption* instance = &CDataEncryption::Instance();
    for (CDataEncryption* p : seen)
        EXPECT_EQ(p, instance);

    const char* typeName = typeid(CDataEncryption).name();
    EXPECT_EQ(hubkit::RegistrationCount(typeName), 1u);
    EXPECT_EQ(hubkit::LastInstance(typeName), instance);
}

TEST(CDataEncryptionInstance, SharedByThreadsAtOnce) {
    // Stateless: sessions on many threads use the one instance concurrently.
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                std::vector<uint8_t> data(static_cast<size_t>(1 + (i + t) % 40),
                                          static_cast<uint8_t>(t));
                const std::vector<uint8_t> original = data;
                CmdDataBuffer e =
                    CDataEncryption::Instance().EncryptCmdData(data, "0000000000000777");
                CmdDataBuffer d =
                    CDataEncryption::Instance().DecryptCmdData(e.Bytes(), "0000000000000777");
                if (!d.Ok() || !std::equal(original.begin(), original.end(), d.Data())) {
                    mismatches.fetch_add(1);
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(hubkit::RegistrationCount(typeid(CDataEncryption).name()), 1u);
}

}  // namespace
