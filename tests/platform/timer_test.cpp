// Multimedia timers and the clock. Under the manual clock every callback
// runs inside AdvanceClock; under the real clock the tests only wait, with a
// generous bound, for conditions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "hcyplat/clock.h"
#include "hcyplat/hcyplatform.h"
#include "hcyplat/thread.h"
#include "hcyplat/timer.h"
#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;

// What a callback saw: (timer id, clock reading) per call.
struct Log {
    std::vector<std::pair<plat::UINT, plat::DWORD>> calls;
    plat::UINT killFromCallbackAt = 0;  // kill itself on this call (1-based)
    plat::MMRESULT killResult = 99;
    plat::UINT createOneShotDelay = 0;  // create a one-shot on the first call
    plat::UINT created = 0;
};

void Record(plat::UINT id, plat::UINT, plat::DWORD_PTR user, plat::DWORD_PTR, plat::DWORD_PTR) {
    auto* log = reinterpret_cast<Log*>(user);
    log->calls.emplace_back(id, plat::timeGetTime());
    if (log->calls.size() == log->killFromCallbackAt) log->killResult = plat::timeKillEvent(id);
    if (log->createOneShotDelay != 0 && log->created == 0)
        log->created =
            plat::timeSetEvent(log->createOneShotDelay, 1, &Record, user, plat::TIME_ONESHOT);
}

class ManualTimers : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UseManualClock();
        start = plat::timeGetTime();
    }
    void TearDown() override {
        for (plat::UINT id : ids) plat::timeKillEvent(id);
        plat::UseRealClock();
    }
    plat::UINT Start(plat::UINT delay, plat::UINT flags, Log& log) {
        const plat::UINT id =
            plat::timeSetEvent(delay, 1, &Record, reinterpret_cast<plat::DWORD_PTR>(&log), flags);
        if (id != 0) ids.push_back(id);
        return id;
    }
    plat::DWORD start = 0;
    std::vector<plat::UINT> ids;
};

TEST_F(ManualTimers, PeriodicFiresAtEachDueTimeWhateverTheSteps) {
    // One advance of 1000 ms, ten of 100 ms, or the hosts' C call: the same ticks.
    for (int way = 0; way < 3; ++way) {
        Log log;
        const plat::DWORD t0 = plat::timeGetTime();
        const plat::UINT id = Start(250, plat::TIME_PERIODIC, log);
        ASSERT_NE(id, 0u);
        plat::AdvanceClock(249);
        EXPECT_TRUE(log.calls.empty());
        if (way == 0) plat::AdvanceClock(751);
        for (int i = 0; way == 1 && i < 7; ++i) plat::AdvanceClock(100);
        if (way == 1) plat::AdvanceClock(51);
        if (way == 2) hcyplatAdvanceClock(751);
        ASSERT_EQ(log.calls.size(), 4u) << way;
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(log.calls[i], std::pair(id, t0 + 250 * plat::DWORD(i + 1)))
                << "callback reads its due time";
        EXPECT_EQ(plat::timeGetTime(), t0 + 1000);
        EXPECT_EQ(plat::GetTickCount(), t0 + 1000);
        plat::timeKillEvent(id);
    }
}

TEST_F(ManualTimers, TimersFireInDueOrderOldestFirstOnTiesIncludingOnesMadeInACallback) {
    Log log;
    log.createOneShotDelay = 250;  // made at 200, due at 450
    const plat::UINT a = Start(200, plat::TIME_PERIODIC, log);
    const plat::UINT b = Start(300, plat::TIME_PERIODIC, log);
    plat::AdvanceClock(600);
    ASSERT_NE(log.created, 0u);
    ids.push_back(log.created);
    const std::vector<std::pair<plat::UINT, plat::DWORD>> expected{
        {a, start + 200},           {b, start + 300}, {a, start + 400},
        {log.created, start + 450}, {a, start + 600}, {b, start + 600}};
    EXPECT_EQ(log.calls, expected);
}

TEST_F(ManualTimers, OneShotsAndKilledTimersStopAndTheirIdsBecomeInvalid) {
    Log once, killed, self;
    const plat::UINT a = Start(100, plat::TIME_ONESHOT, once);
    const plat::UINT b = Start(100, plat::TIME_PERIODIC, killed);
    self.killFromCallbackAt = 2;  // returns at once from inside its own callback
    const plat::UINT c = Start(250, plat::TIME_PERIODIC, self);
    plat::AdvanceClock(250);
    EXPECT_EQ(plat::timeKillEvent(b), plat::TIMERR_NOERROR);
    plat::AdvanceClock(2000);
    EXPECT_EQ(once.calls.size(), 1u);
    EXPECT_EQ(killed.calls.size(), 2u);
    EXPECT_EQ(self.calls.size(), 2u);
    EXPECT_EQ(self.killResult, plat::TIMERR_NOERROR);
    for (plat::UINT id : {a, b, c, 0u, 0xFFFFFF00u})
        EXPECT_EQ(plat::timeKillEvent(id), plat::MMSYSERR_INVALPARAM) << id;
    const plat::UINT d = Start(100, plat::TIME_PERIODIC, once);
    for (plat::UINT id : {a, b, c}) EXPECT_NE(d, id) << "ids are not reused";
}

// A pump runs when it asks, at the millisecond after a due time that falls
// between two; a time already past runs it at the next millisecond.
TEST_F(ManualTimers, PumpRunsAtTheTimesItNames) {
    struct Pump {
        std::vector<plat::DWORD> at;
        static std::uint64_t Step(plat::DWORD_PTR user, std::uint64_t nowUs) {
            auto* p = reinterpret_cast<Pump*>(user);
            p->at.push_back(plat::timeGetTime());
            EXPECT_EQ(nowUs, plat::ClockMicroseconds());
            return p->at.size() == 3 ? 0 : nowUs + 2500;
        }
    } pump;
    const std::uint64_t t0 = plat::ClockMicroseconds();
    const plat::UINT id =
        plat::timeSetPump(t0 + 1000, &Pump::Step, reinterpret_cast<plat::DWORD_PTR>(&pump));
    ASSERT_NE(id, 0u);
    ids.push_back(id);
    plat::AdvanceClock(12);
    const std::vector<plat::DWORD> expected = {start + 1, start + 4, start + 7, start + 8,
                                               start + 11};
    EXPECT_EQ(pump.at, expected);
}

TEST_F(ManualTimers, InjectedFailuresAndBadArgumentsReturnZero) {
    Log log;
    plat::FailNextTimerCreations(2);
    EXPECT_EQ(Start(100, plat::TIME_PERIODIC, log), 0u);
    EXPECT_EQ(Start(100, plat::TIME_PERIODIC, log), 0u);
    EXPECT_NE(Start(100, plat::TIME_PERIODIC, log), 0u);
    EXPECT_EQ(Start(0, plat::TIME_PERIODIC, log), 0u) << "a zero period would never end";
    EXPECT_EQ(plat::timeSetEvent(100, 1, nullptr, 0, plat::TIME_PERIODIC), 0u);
    EXPECT_TRUE(plat::IsManualClock());
}

TEST_F(ManualTimers, SleepInsideCallbackMovesTheClockItself) {
    // No other thread can advance while this one runs callbacks.
    auto sleepy = [](plat::UINT, plat::UINT, plat::DWORD_PTR, plat::DWORD_PTR, plat::DWORD_PTR) {
        plat::Sleep(100);
    };
    const plat::UINT id = plat::timeSetEvent(250, 1, sleepy, 0, plat::TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ids.push_back(id);
    plat::AdvanceClock(250);
    EXPECT_EQ(plat::timeGetTime(), start + 350);
}

// A bounded wait for a condition that another thread makes true.
struct Signal {
    std::mutex mu;
    std::condition_variable cv;
    template <class P>
    bool WaitFor(P pred, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mu);
        return cv.wait_for(lock, limit, pred);
    }
};

TEST_F(ManualTimers, SleepWakesOnceAdvancePassesItsDeadline) {
    Signal s;
    bool done = false;
    plat::DWORD before = 0, after = 0;
    std::thread sleeper([&] {
        before = plat::timeGetTime();
        plat::Sleep(500);
        after = plat::timeGetTime();
        std::lock_guard lock(s.mu);
        done = true;
        s.cv.notify_all();
    });
    // The sleeper may start at any clock reading; advance until it wakes.
    bool woke = false;
    for (int i = 0; i < 1000 && !woke; ++i) {
        plat::AdvanceClock(50);
        woke = s.WaitFor([&] { return done; }, 10ms);
    }
    sleeper.join();
    ASSERT_TRUE(woke);
    EXPECT_GE(after - before, 500u);
}

// Real clock: a timer thread of its own per timer.
struct RealLog {
    Signal s;
    int calls = 0;
    bool blockFirst = false, release = false, finished = false;
    bool killInCallback = false;
    plat::MMRESULT killResult = 99;
    std::atomic<bool> killed{false};
    std::atomic<int> afterKill{0};
};

void RealCallback(plat::UINT id, plat::UINT, plat::DWORD_PTR user, plat::DWORD_PTR,
                  plat::DWORD_PTR) {
    auto* log = reinterpret_cast<RealLog*>(user);
    if (log->killed) ++log->afterKill;
    if (log->killInCallback) {
        const plat::MMRESULT r = plat::timeKillEvent(id);
        std::lock_guard lock(log->s.mu);
        log->killResult = r;
    }
    std::unique_lock lock(log->s.mu);
    ++log->calls;
    log->s.cv.notify_all();
    if (log->blockFirst) {
        log->s.cv.wait(lock, [&] { return log->release; });
        log->finished = true;
    }
}

class RealTimers : public ::testing::Test {
protected:
    void SetUp() override { plat::UseRealClock(); }
    plat::UINT Start(plat::UINT delay, plat::UINT flags) {
        return plat::timeSetEvent(delay, 1, &RealCallback, reinterpret_cast<plat::DWORD_PTR>(&log),
                                  flags);
    }
    RealLog log;
};

TEST_F(RealTimers, PeriodicTimerTicksUntilKilled) {
    const plat::UINT id = Start(10, plat::TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(log.s.WaitFor([&] { return log.calls >= 3; }, 5s));
    EXPECT_EQ(plat::timeKillEvent(id), plat::TIMERR_NOERROR);
    log.killed = true;
    EXPECT_EQ(plat::timeKillEvent(id), plat::MMSYSERR_INVALPARAM);
    EXPECT_EQ(log.afterKill.load(), 0);
}

// Under either clock, a kill from another thread returns only once the
// callback in flight has finished, and no tick follows it.
TEST_F(RealTimers, KillFromAnotherThreadWaitsForTheCallbackInFlight) {
    for (bool manual : {true, false}) {
        RealLog gate;
        gate.blockFirst = true;
        manual ? plat::UseManualClock() : plat::UseRealClock();
        const plat::UINT id =
            plat::timeSetEvent(manual ? 100 : 10, 1, &RealCallback,
                               reinterpret_cast<plat::DWORD_PTR>(&gate), plat::TIME_PERIODIC);
        ASSERT_NE(id, 0u);
        std::thread advancer([manual] {
            if (manual) plat::AdvanceClock(100);
        });
        ASSERT_TRUE(gate.s.WaitFor([&] { return gate.calls == 1; }, 5s));
        std::atomic<bool> finishedWhenKillReturned{false};
        std::atomic<int> callsWhenKillReturned{0};
        std::thread killer([&] {
            EXPECT_EQ(plat::timeKillEvent(id), plat::TIMERR_NOERROR);
            std::lock_guard lock(gate.s.mu);
            finishedWhenKillReturned = gate.finished;
            callsWhenKillReturned = gate.calls;
        });
        {
            std::lock_guard lock(gate.s.mu);
            gate.release = true;
        }
        gate.s.cv.notify_all();
        killer.join();
        advancer.join();
        EXPECT_TRUE(finishedWhenKillReturned.load()) << manual;
        std::lock_guard lock(gate.s.mu);
        EXPECT_EQ(gate.calls, callsWhenKillReturned.load()) << "no tick after the kill";
    }
    plat::UseRealClock();
}

// Timer threads run time-critical where this process may raise a thread
// (a probe thread tells), else at normal priority.
TEST_F(RealTimers, CallbacksRunTimeCriticalWhereTheSystemAllows) {
    int allowed = -1;
    std::thread probe([&] {
        plat::SetCurrentThreadPriority(plat::THREAD_PRIORITY_TIME_CRITICAL);
        allowed = plat::GetCurrentThreadPriority();
    });
    probe.join();
    static std::atomic<int> seen{-1};
    seen = -1;
    const plat::UINT id = plat::timeSetEvent(
        5, 1,
        [](plat::UINT, plat::UINT, plat::DWORD_PTR, plat::DWORD_PTR, plat::DWORD_PTR) {
            seen = plat::GetCurrentThreadPriority();
        },
        0, plat::TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(hcytest::WaitFor([&] { return seen >= 0; }));
    plat::timeKillEvent(id);
    EXPECT_EQ(seen.load(), allowed);
    EXPECT_TRUE(allowed == plat::THREAD_PRIORITY_TIME_CRITICAL ||
                allowed == plat::THREAD_PRIORITY_NORMAL);
}

// PDU timestamps: the tick count is the machine's milliseconds since it
// started (/proc/uptime, to its 10 ms), not since this process loaded the
// platform, so that hosts started at different times stamp a moment alike.
TEST_F(RealTimers, TickCountCountsFromTheMachinesStart) {
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    ASSERT_GT(uptime, 0);
    const plat::DWORD ticks = plat::GetTickCount();
    const auto booted = static_cast<plat::DWORD>(static_cast<std::uint64_t>(uptime * 1000));
    EXPECT_LT(static_cast<plat::DWORD>(ticks - booted), 1000u) << ticks << " ms, up " << uptime;
}

TEST_F(RealTimers, KillFromOwnCallbackDoesNotDeadlock) {
    // Nothing waits for a callback that killed its own timer, so its record
    // must outlive the test.
    static RealLog own;
    {
        std::lock_guard lock(own.s.mu);
        own.calls = 0;
        own.killResult = 99;
        own.killInCallback = true;
    }
    const plat::UINT id = plat::timeSetEvent(
        10, 1, &RealCallback, reinterpret_cast<plat::DWORD_PTR>(&own), plat::TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(own.s.WaitFor([&] { return own.calls >= 1; }, 5s));
    std::lock_guard lock(own.s.mu);
    EXPECT_EQ(own.killResult, plat::TIMERR_NOERROR);
    EXPECT_EQ(plat::timeKillEvent(id), plat::MMSYSERR_INVALPARAM);
}

}  // namespace
