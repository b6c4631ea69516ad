// The posted-message shim: a block carried by a message belongs to the
// handler that takes it, and is freed exactly once in every other case
// (never handled, refused after the window detached, target destroyed
// with the message still queued), also with many posting threads.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "cfgpush/app/PushJobList.h"
#include "ui/WindowMessage.h"

namespace {

std::atomic<int> g_freed{0};

void FreeCounted(uintptr_t, intptr_t lParam) {
    delete reinterpret_cast<int*>(lParam);
    g_freed.fetch_add(1);
}

intptr_t NewBlock(int value) {
    return reinterpret_cast<intptr_t>(new int(value));
}

// A window stand-in that handles the messages it is sent.
class Receiver : public QObject {
public:
    bool take = true;
    std::vector<std::pair<uint32_t, int>> received;

protected:
    bool event(QEvent* e) override {
        if (e->type() != ui::WindowMessageEvent::EventType()) {
            return QObject::event(e);
        }
        auto* m = static_cast<ui::WindowMessageEvent*>(e);
        int value = -1;
        if (take) {
            std::unique_ptr<int> block(reinterpret_cast<int*>(m->TakeLParam()));
            value = block ? *block : -1;
        }
        received.emplace_back(m->Message(), value);
        return true;
    }
};

class WindowMessageTest : public ::testing::Test {
protected:
    void SetUp() override { g_freed = 0; }
};

TEST_F(WindowMessageTest, TheHandlerReceivesMessagesInOrderAndOwnsTheBlocks) {
    Receiver receiver;
    auto mailbox = std::make_shared<ui::WindowMailbox>(&receiver);
    EXPECT_TRUE(mailbox->Post(2026, 0, NewBlock(7), &FreeCounted));
    EXPECT_TRUE(mailbox->Post(2027, 3, NewBlock(8), &FreeCounted));
    EXPECT_TRUE(receiver.received.empty());  // posted, not sent
    QCoreApplication::sendPostedEvents(&receiver);
    ASSERT_EQ(receiver.received.size(), 2u);
    EXPECT_EQ(receiver.received[0], (std::pair<uint32_t, int>{2026, 7}));
    EXPECT_EQ(receiver.received[1], (std::pair<uint32_t, int>{2027, 8}));
    EXPECT_EQ(g_freed, 0);  // the handler freed them, not the shim
}

TEST_F(WindowMessageTest, AMessageNotTakenIsFreedWithItsEvent) {
    Receiver receiver;
    receiver.take = false;
    auto mailbox = std::make_shared<ui::WindowMailbox>(&receiver);
    mailbox->Post(2026, 0, NewBlock(1), &FreeCounted);
    QCoreApplication::sendPostedEvents(&receiver);
    EXPECT_EQ(receiver.received.size(), 1u);
    EXPECT_EQ(g_freed, 1);
}

TEST_F(WindowMessageTest, PostingAfterDetachFreesAtOnceAndQueuedOnesGoWithTheTarget) {
    auto receiver = std::make_unique<Receiver>();
    auto mailbox = std::make_shared<ui::WindowMailbox>(receiver.get());
    mailbox->Post(2026, 0, NewBlock(1), &FreeCounted);
    mailbox->Post(2026, 0, NewBlock(2), &FreeCounted);
    mailbox->Detach();
    EXPECT_FALSE(mailbox->Attached());
    EXPECT_FALSE(mailbox->Post(2026, 0, NewBlock(3), &FreeCounted));
    EXPECT_EQ(g_freed, 1);
    receiver.reset();  // two messages still queued
    EXPECT_EQ(g_freed, 3);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(g_freed, 3);
    // Plain numbers need no free function.
    EXPECT_FALSE(mailbox->Post(2027, 1, -1));
}

TEST_F(WindowMessageTest, ManyThreadsPostingWhileTheWindowGoesFreeEveryBlockOnce) {
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    auto receiver = std::make_unique<Receiver>();
    auto mailbox = std::make_shared<ui::WindowMailbox>(receiver.get());
    std::atomic<int> accepted{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([mailbox, &accepted] {
            for (int i = 0; i < kEach; ++i) {
                accepted += mailbox->Post(2026, 0, NewBlock(i), &FreeCounted) ? 1 : 0;
            }
        });
    }
    // Handle some, then go away while the posters still run.
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::sendPostedEvents(receiver.get());
    }
    const size_t handled = receiver->received.size();
    mailbox->Detach();
    receiver.reset();
    for (std::thread& t : posters) {
        t.join();
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(static_cast<int>(handled) + g_freed.load(), kThreads * kEach);
    EXPECT_LE(static_cast<int>(handled), accepted.load());
}

TEST(PushJobList, CompletionCountsTheJobsOfThePush) {
    cfgpush::PushJobList jobs;
    EXPECT_TRUE(jobs.Complete());
    jobs.Add(0, "aa");
    jobs.Add(2, "bb");
    EXPECT_EQ(jobs.Outstanding(), 2u);
    const auto* first = jobs.Report(2);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->key, "bb");
    EXPECT_FALSE(jobs.Complete());
    // A result for no job of the push changes nothing; a repeated one counts once.
    EXPECT_EQ(jobs.Report(1), nullptr);
    EXPECT_NE(jobs.Report(2), nullptr);
    EXPECT_EQ(jobs.Outstanding(), 1u);
    EXPECT_NE(jobs.Report(0), nullptr);
    EXPECT_TRUE(jobs.Complete());
    jobs.Clear();
    EXPECT_EQ(jobs.Size(), 0u);
}

TEST(PushJobList, ASharedRowIndexGoesToTheLastJob) {
    cfgpush::PushJobList jobs;
    jobs.Add(1, "first");
    jobs.Add(1, "second");
    EXPECT_EQ(jobs.Report(1)->key, "second");
}

}  // namespace
