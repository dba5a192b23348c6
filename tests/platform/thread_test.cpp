// Thread message queues: order, bound, failed posts and payload ownership.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "hcyplat/hcyplatform.h"
#include "hcyplat/thread.h"
#include "hcyplat/thread_boundary.h"

namespace {

using namespace std::chrono_literals;

// Counts its own destruction, so a test can see who freed a payload.
struct Tracked final : plat::MessagePayload {
    explicit Tracked(std::atomic<int>& c) : counter(c) {}
    ~Tracked() override { counter.fetch_add(1); }
    std::atomic<int>& counter;
};

std::unique_ptr<plat::MessagePayload> Track(std::atomic<int>& counter) {
    return std::make_unique<Tracked>(counter);
}

class ThreadMessages : public ::testing::Test {
protected:
    void SetUp() override { plat::EnsureMessageQueue(); }
    void TearDown() override { plat::DestroyMessageQueue(); }
    std::atomic<int> destroyed{0};
};

TEST_F(ThreadMessages, OwnQueueIsFirstInFirstOutHoldsTenThousandAndAFailedPostFreesItsPayload) {
    const plat::ThreadId self = plat::GetCurrentThreadId();
    ASSERT_NE(self, 0u);
    for (std::size_t i = 0; i < plat::kMessageQueueLimit; ++i)
        ASSERT_TRUE(plat::PostThreadMessage(self, plat::WM_USER + (i % 5), i,
                                            -static_cast<plat::LPARAM>(i)))
            << i;
    EXPECT_FALSE(plat::PostThreadMessage(self, plat::WM_USER, 0, 0, Track(destroyed)));
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(plat::QueuedMessageCount(self), plat::kMessageQueueLimit);
    plat::MSG m;
    for (std::size_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(plat::PeekMessage(m));
        EXPECT_EQ(m.message, plat::WM_USER + i);
        EXPECT_EQ(m.wParam, i);
        EXPECT_EQ(m.lParam, -static_cast<plat::LPARAM>(i));
    }
    EXPECT_TRUE(plat::PostThreadMessage(self, plat::WM_USER, 1, 0)) << "room again";
}

TEST_F(ThreadMessages, PeekWithoutRemoveLeavesPayloadQueued) {
    const plat::ThreadId self = plat::GetCurrentThreadId();
    ASSERT_TRUE(plat::PostThreadMessage(self, plat::WM_USER, 7, 0,
                                        plat::MakePayload<std::string>("224.1.2.3")));
    plat::MSG look;
    ASSERT_TRUE(plat::PeekMessage(look, false));
    EXPECT_EQ(look.wParam, 7u);
    EXPECT_EQ(look.payload, nullptr);

    plat::MSG taken;
    ASSERT_TRUE(plat::PeekMessage(taken));
    ASSERT_NE(plat::PayloadAs<std::string>(taken.payload), nullptr);
    EXPECT_EQ(*plat::PayloadAs<std::string>(taken.payload), "224.1.2.3");
    EXPECT_EQ(plat::PayloadAs<int>(taken.payload), nullptr) << "wrong type reads as null";
}

TEST_F(ThreadMessages, DestroyedQueueAndUnknownThreadsRefusePostsAndFreeThePayloads) {
    const plat::ThreadId self = plat::GetCurrentThreadId();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(plat::PostThreadMessage(self, plat::WM_USER, 0, 0, Track(destroyed)));
    plat::DestroyMessageQueue();
    EXPECT_EQ(destroyed.load(), 3);
    EXPECT_EQ(plat::QueuedMessageCount(self), 0u);
    for (plat::ThreadId id : {self, plat::ThreadId{0}, plat::ThreadId{0xFFFFFFF0u}})
        EXPECT_FALSE(plat::PostThreadMessage(id, plat::WM_USER, 0, 0, Track(destroyed))) << id;
    EXPECT_EQ(destroyed.load(), 6);
}

TEST_F(ThreadMessages, WaitMessageTakesPostFromAnotherThread) {
    const plat::ThreadId self = plat::GetCurrentThreadId();
    plat::MSG m;
    EXPECT_FALSE(plat::WaitMessage(m, 0ms));
    std::thread poster([self] { plat::PostThreadMessage(self, plat::WM_USER + 9, 0, 0); });
    ASSERT_TRUE(plat::WaitMessage(m, 10s));
    EXPECT_EQ(m.message, plat::WM_USER + 9);
    poster.join();
}

TEST_F(ThreadMessages, ForeignThreadsGetDistinctIdsAndQueuesEndWithThem) {
    std::atomic<plat::ThreadId> other{0};
    std::thread t([&] {
        plat::EnsureMessageQueue();
        other = plat::GetCurrentThreadId();
        plat::PostThreadMessage(other, plat::WM_USER, 0, 0, Track(destroyed));
    });
    t.join();
    ASSERT_NE(other.load(), 0u);
    EXPECT_NE(other.load(), plat::GetCurrentThreadId());
    EXPECT_EQ(destroyed.load(), 1) << "the queue of an ended thread freed its payload";
    EXPECT_FALSE(plat::PostThreadMessage(other, plat::WM_USER, 0, 0));
}

class PlatThread : public ::testing::Test {
protected:
    std::atomic<int> destroyed{0};
};

TEST_F(PlatThread, PostRightAfterStartIsReceivedInOrderUntilQuit) {
    std::latch go(1);
    std::vector<plat::UINT> received;
    plat::ThreadId seenId = 0;
    plat::MSG quit;
    plat::Thread t;
    ASSERT_TRUE(t.Start(
        [&] {
            go.wait();  // the posts below land before this thread looks at its queue
            seenId = plat::GetCurrentThreadId();
            plat::MSG m;
            while (plat::GetMessage(m)) received.push_back(m.message);
            quit = std::move(m);
        },
        "hcy-test-worker"));
    ASSERT_NE(t.Id(), 0u);
    EXPECT_TRUE(plat::PostThreadMessage(t.Id(), plat::WM_USER + 1, 0, 0));
    EXPECT_TRUE(plat::PostThreadMessage(t.Id(), plat::WM_USER + 2, 0, 0));
    EXPECT_TRUE(plat::PostThreadMessage(t.Id(), plat::WM_QUIT, 3, 0));
    go.count_down();
    t.Join();
    EXPECT_EQ(seenId, t.Id());
    EXPECT_EQ(received, (std::vector<plat::UINT>{plat::WM_USER + 1, plat::WM_USER + 2}));
    EXPECT_EQ(quit.message, plat::WM_QUIT);
    EXPECT_EQ(quit.wParam, 3u);
}

TEST_F(PlatThread, PostQuitMessageEndsOwnLoop) {
    int handled = 0;
    plat::Thread t;
    ASSERT_TRUE(t.Start([&] {
        plat::PostThreadMessage(plat::GetCurrentThreadId(), plat::WM_USER, 0, 0);
        plat::PostQuitMessage(0);
        plat::MSG m;
        while (plat::GetMessage(m)) ++handled;
    }));
    t.Join();
    EXPECT_EQ(handled, 1);
}

TEST_F(PlatThread, EndedThreadFreesPendingPayloadsAndRefusesPosts) {
    std::latch release(1);
    plat::Thread t;
    ASSERT_TRUE(t.Start([&] { release.wait(); }));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(plat::PostThreadMessage(t.Id(), plat::WM_USER, 0, 0, Track(destroyed)));
    EXPECT_EQ(plat::QueuedMessageCount(t.Id()), 4u);
    release.count_down();
    t.Join();
    EXPECT_EQ(destroyed.load(), 4);
    EXPECT_FALSE(plat::PostThreadMessage(t.Id(), plat::WM_USER, 0, 0, Track(destroyed)));
    EXPECT_EQ(destroyed.load(), 5);
}

TEST_F(PlatThread, IdsAreUniqueAndDestructorJoins) {
    std::atomic<int> ran{0};
    plat::ThreadId a = 0, b = 0;
    {
        plat::Thread t1, t2;
        ASSERT_TRUE(t1.Start([&] { ++ran; }));
        ASSERT_TRUE(t2.Start([&] { ++ran; }));
        a = t1.Id();
        b = t2.Id();
        EXPECT_FALSE(t1.Start([] {})) << "a running thread is not started twice";
    }
    EXPECT_EQ(ran.load(), 2);
    EXPECT_NE(a, b);
    EXPECT_NE(a, plat::GetCurrentThreadId());
    plat::Thread t3;
    ASSERT_TRUE(t3.Start([] {}));
    EXPECT_GT(t3.Id(), b) << "ids are not reused";
}

TEST_F(PlatThread, SetPriorityKeepsRequestWhetherOrNotTheSystemAgrees) {
    std::latch release(1);
    plat::Thread t;
    EXPECT_FALSE(t.SetPriority(plat::THREAD_PRIORITY_TIME_CRITICAL)) << "not started";
    ASSERT_TRUE(t.Start([&] { release.wait(); }));
    EXPECT_EQ(t.RequestedPriority(), plat::THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(t.SetPriority(plat::THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(t.RequestedPriority(), plat::THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_FALSE(t.SetPriority(7)) << "not a priority level";
    release.count_down();
    t.Join();
}

// Whatever a thread body throws ends at the thread's boundary: the sink
// hears what the thread was doing, the thread ends, the process goes on.
TEST_F(PlatThread, ABodyThatThrowsEndsItsThreadAndReachesTheErrorSink) {
    static std::mutex mu;
    static std::vector<std::string> reports;
    reports.clear();  // a repeated run starts with none
    const auto previous = plat::SetThreadErrorSink([](const char* what, const char* error) {
        std::lock_guard<std::mutex> lock(mu);
        reports.push_back(std::string(what) + " / " + error);
    });
    {
        plat::Thread a, b, c;
        ASSERT_TRUE(a.Start([] { throw std::runtime_error("boom"); }, "hcy-test"));
        ASSERT_TRUE(b.Start([] { throw 42; }));
        ASSERT_TRUE(c.Start([] { throw std::bad_alloc(); }, "hcy-test"));
        a.Join();
        b.Join();
        c.Join();
        EXPECT_FALSE(plat::PostThreadMessage(a.Id(), plat::WM_USER, 0, 0)) << "queue gone";
    }
    plat::SetThreadErrorSink(previous);
    std::sort(reports.begin(), reports.end());
    EXPECT_EQ(reports, (std::vector<std::string>{
                           "running thread (unnamed) / Unexpected internal error.",
                           "running thread hcy-test / Out of memory.",
                           "running thread hcy-test / boom",
                       }));
}

// In a child process that may not raise priorities (even as root): three
// threads that throw, each asked for a raised priority. Exits 0 when the
// reports hold the refusal once and the three errors.
[[noreturn]] void RefusePrioritiesAndCountReports() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    syscall(SYS_capget, &header, caps);
    caps[0].effective &= ~(1u << CAP_SYS_NICE);
    caps[0].permitted &= ~(1u << CAP_SYS_NICE);
    syscall(SYS_capset, &header, caps);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_RTPRIO, &none);
    plat::SetThreadErrorSink(nullptr);
    for (int i = 0; i < 3; ++i) {
        std::latch asked(1);
        plat::Thread t;
        t.Start([&] {
            asked.wait();
            throw std::runtime_error("boom");
        });
        t.SetPriority(plat::THREAD_PRIORITY_ABOVE_NORMAL);
        asked.count_down();
        t.Join();
    }
    int refusals = 0, errors = 0;
    char text[256];
    while (hcyplatTakeReport(text, sizeof text) >= 0) {
        refusals += std::string(text).find("refused a raised thread priority") != std::string::npos;
        errors += std::string(text) == "error while running thread (unnamed): boom";
    }
    _exit(refusals == 1 && errors == 3 ? 0 : 1);
}

// A library does not write to its host's terminal: a refused priority and a
// thread's error with no library to hear it go to the platform's reports,
// the refusal once however many threads ask.
TEST(PlatformReports, ARefusedPriorityIsReportedOnceAndNothingReachesStandardError) {
    // The child runs in a process of its own, started afresh: a forked one
    // would inherit the reports (a bounded queue) and the once-only refusal
    // left by earlier tests, and under the thread sanitizer their threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RefusePrioritiesAndCountReports(), ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
