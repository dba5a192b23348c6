// The clock and the multimedia timers that run on it.
//
// Real clock: every timer has a thread (at time-critical priority) that
// waits on a steady clock for its next due time and runs the callback.
// Pumps name their next due time themselves. Manual clock: time is a counter that
// AdvanceClock moves; it runs the due callbacks itself, earliest first, and
// sets the time to each due time before calling, so timeGetTime inside a
// callback reads its due time.
//
// One mutex guards the manual time, the timer table and each timer's state;
// callbacks always run without it, so a callback may create or kill timers.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <time.h>

#include "hcyplat/clock.h"
#include "hcyplat/thread.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/timer.h"

namespace plat {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest delay or period a timer accepts [ms], as the system's timer
// capabilities report it.
constexpr UINT kMaxTimerDelayMs = 1000000;

struct Timer {
    UINT id = 0;
    UINT periodMs = 0;
    bool periodic = false;
    LPTIMECALLBACK callback = nullptr;
    LPPUMPCALLBACK pump = nullptr;  // a pump: the callback names its next due time
    DWORD_PTR user = 0;
    bool manual = false;
    std::uint64_t nextUs = 0;  // pump: clock time of the next callback [us]

    std::uint64_t dueMs = 0;  // manual clock: time of the next callback [ms]
    std::uint64_t order = 0;  // creation order: ties of due time fire oldest first

    // Listed and able to fire again. A one-shot stops being live when its
    // callback starts; it stays in the table until that callback returns so
    // that a kill can still wait for it.
    bool live = true;
    bool inCallback = false;
    std::thread::id callbackThread;

    std::condition_variable wake;  // real clock: kill wakes the timer thread
    std::thread thread;            // real clock only
};

struct ClockState {
    std::mutex mu;
    std::condition_variable timeMoved;     // manual time advanced or clock form changed
    std::condition_variable callbackDone;  // some timer's callback returned
    std::atomic<bool> manual{false};
    std::atomic<std::uint64_t> manualNowMs{0};
    std::map<UINT, std::shared_ptr<Timer>> timers;
    UINT nextId = 1;
    std::uint64_t nextOrder = 0;
    int failCreations = 0;
    // Serialises advances; recursive so that a callback may advance too.
    std::recursive_mutex advanceMu;
    const SteadyClock::time_point loaded = SteadyClock::now();
};

// Timer threads may outlive static destruction at exit: never destroyed.
ClockState& State() {
    static ClockState* state = new ClockState;
    return *state;
}

// The real clock counts from the moment the library is loaded.
[[maybe_unused]] const bool g_clockStarted = (State(), true);

thread_local int t_advancing = 0;  // depth of AdvanceClock on this thread

std::uint64_t RealNowMs(const ClockState& s) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - s.loaded)
            .count());
}

std::uint64_t RealNowUs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now().time_since_epoch())
            .count());
}

SteadyClock::time_point RealTimeOfUs(std::uint64_t us) {
    return SteadyClock::time_point(
        std::chrono::duration_cast<SteadyClock::duration>(std::chrono::microseconds(us)));
}

// Runs one callback of `t` with the lock released. Called with `lock` held.
void Fire(ClockState& s, std::unique_lock<std::mutex>& lock, const std::shared_ptr<Timer>& t) {
    t->inCallback = true;
    t->callbackThread = std::this_thread::get_id();
    if (!t->periodic) t->live = false;
    lock.unlock();
    // A callback that throws misses this tick only; the lock is taken again.
    // A pump that throws runs again a millisecond later.
    if (t->pump) {
        const std::uint64_t now = ClockMicroseconds();
        std::uint64_t next = now + 1000;
        ThreadBoundary(kTimerCallback, [&] { next = t->pump(t->user, now); });
        lock.lock();
        t->nextUs = next;
    } else {
        ThreadBoundary(kTimerCallback, [&] { t->callback(t->id, 0, t->user, 0, 0); });
        lock.lock();
    }
    t->inCallback = false;
    if (!t->periodic) {
        auto it = s.timers.find(t->id);
        if (it != s.timers.end() && it->second == t) s.timers.erase(it);
    }
    s.callbackDone.notify_all();
}

void RunRealTimer(std::shared_ptr<Timer> t, SteadyClock::time_point created) {
    // The system's timer callbacks run time-critical: the update tick and
    // the sound pumps must not wait behind the host's busy threads.
    SetCurrentThreadPriority(THREAD_PRIORITY_TIME_CRITICAL);
    ClockState& s = State();
    std::unique_lock lock(s.mu);
    const auto period = std::chrono::milliseconds(t->periodMs);
    auto due = t->pump ? RealTimeOfUs(t->nextUs) : created + period;
    while (t->live) {
        if (t->wake.wait_until(lock, due, [&] { return !t->live; })) break;
        Fire(s, lock, t);
        if (!t->live) break;
        const auto now = SteadyClock::now();
        if (t->pump) {
            due = std::max(RealTimeOfUs(t->nextUs), now + std::chrono::microseconds(100));
            continue;
        }
        due += period;
        // Ticks whose time passed while the callback ran are dropped, not
        // delivered in a burst.
        if (due < now) due += ((now - due) / period + 1) * period;
    }
    // Nobody joins a one-shot that fired: it lets itself go.
    if (t->thread.joinable()) t->thread.detach();
}

}  // namespace

void UseManualClock() {
    ClockState& s = State();
    {
        std::lock_guard lock(s.mu);
        if (s.manual.load()) return;
        s.manualNowMs.store(0);
        s.manual.store(true);
    }
    s.timeMoved.notify_all();
}

void UseRealClock() {
    ClockState& s = State();
    {
        std::lock_guard lock(s.mu);
        s.manual.store(false);
    }
    s.timeMoved.notify_all();  // manual sleepers return
}

bool IsManualClock() { return State().manual.load(); }

DWORD timeGetTime() {
    ClockState& s = State();
    const std::uint64_t now = s.manual.load() ? s.manualNowMs.load() : RealNowMs(s);
    return static_cast<DWORD>(now);  // wraps at 2^32 [ms]
}

// The system's tick count: milliseconds since the machine started, on a
// monotonic clock that goes on through suspend, so that every process of the
// machine stamps its PDUs on one time line.
DWORD GetTickCount() {
    ClockState& s = State();
    if (s.manual.load()) return static_cast<DWORD>(s.manualNowMs.load());
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // wraps at 2^32 [ms], about 49.7 days
}

std::uint64_t ClockMicroseconds() {
    ClockState& s = State();
    return s.manual.load() ? s.manualNowMs.load() * 1000 : RealNowUs();
}

void Sleep(DWORD ms) {
    ClockState& s = State();
    if (!s.manual.load()) {
        if (ms == 0)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    if (ms == 0) return;
    if (t_advancing > 0) {
        // Nobody else can move time while this thread drives it from a
        // callback: the sleep advances the clock itself.
        AdvanceClock(ms);
        return;
    }
    std::unique_lock lock(s.mu);
    const std::uint64_t deadline = s.manualNowMs.load() + ms;
    s.timeMoved.wait(lock, [&] { return !s.manual.load() || s.manualNowMs.load() >= deadline; });
}

void AdvanceClock(DWORD ms) {
    ClockState& s = State();
    if (!s.manual.load()) return;
    std::lock_guard advance(s.advanceMu);
    ++t_advancing;
    std::unique_lock lock(s.mu);
    if (s.manual.load()) {
        const std::uint64_t target = s.manualNowMs.load() + ms;
        for (;;) {
            std::shared_ptr<Timer> next;
            for (const auto& [id, t] : s.timers) {
                if (!t->manual || !t->live || t->inCallback || t->dueMs > target) continue;
                if (!next || t->dueMs < next->dueMs ||
                    (t->dueMs == next->dueMs && t->order < next->order))
                    next = t;
            }
            if (!next) break;
            if (next->dueMs > s.manualNowMs.load()) {
                s.manualNowMs.store(next->dueMs);
                s.timeMoved.notify_all();
            }
            Fire(s, lock, next);
            if (next->live && next->pump) {
                // At the next millisecond at the earliest: time stands still
                // inside a callback.
                next->dueMs = std::max((next->nextUs + 999) / 1000, s.manualNowMs.load() + 1);
            } else if (next->live) {
                next->dueMs += next->periodMs;
                // A callback that advanced the clock itself made ticks late:
                // they are dropped like late ticks of the real clock.
                while (next->dueMs < s.manualNowMs.load()) next->dueMs += next->periodMs;
            }
        }
        if (target > s.manualNowMs.load()) s.manualNowMs.store(target);
    }
    lock.unlock();
    s.timeMoved.notify_all();
    --t_advancing;
}

namespace {

// Lists a new timer and, on the real clock, starts its thread. Returns its
// id, or 0.
UINT StartTimer(ClockState& s, std::unique_lock<std::mutex>& lock, std::shared_ptr<Timer> t) {
    (void)lock;
    while (s.nextId == 0 || s.timers.count(s.nextId) != 0) ++s.nextId;
    t->id = s.nextId++;
    t->manual = s.manual.load();
    t->order = s.nextOrder++;
    s.timers.emplace(t->id, t);
    if (!t->manual) {
        // The thread starts by taking the lock, so it finds its own
        // std::thread in place.
        try {
            t->thread = std::thread(RunRealTimer, t, SteadyClock::now());
        } catch (const std::system_error&) {
            s.timers.erase(t->id);
            return 0;
        }
    }
    return t->id;
}

bool CreationFails(ClockState& s) {
    if (s.failCreations == 0) return false;
    --s.failCreations;
    return true;
}

}  // namespace

UINT timeSetEvent(UINT delayMs, UINT resolutionMs, LPTIMECALLBACK callback, DWORD_PTR user,
                  UINT flags) {
    (void)resolutionMs;  // every timer runs at 1 ms resolution
    ClockState& s = State();
    std::unique_lock lock(s.mu);
    if (CreationFails(s)) return 0;
    if (!callback || delayMs == 0 || delayMs > kMaxTimerDelayMs || (flags & ~TIME_PERIODIC) != 0)
        return 0;

    auto t = std::make_shared<Timer>();
    t->periodMs = delayMs;
    t->periodic = (flags & TIME_PERIODIC) != 0;
    t->callback = callback;
    t->user = user;
    t->dueMs = s.manualNowMs.load() + delayMs;
    return StartTimer(s, lock, std::move(t));
}

UINT timeSetPump(std::uint64_t firstDueUs, LPPUMPCALLBACK callback, DWORD_PTR user) {
    ClockState& s = State();
    std::unique_lock lock(s.mu);
    if (CreationFails(s) || !callback) return 0;
    auto t = std::make_shared<Timer>();
    t->periodic = true;
    t->pump = callback;
    t->user = user;
    t->nextUs = firstDueUs;
    t->dueMs = std::max((firstDueUs + 999) / 1000, s.manualNowMs.load());
    return StartTimer(s, lock, std::move(t));
}

MMRESULT timeKillEvent(UINT timerId) {
    ClockState& s = State();
    std::unique_lock lock(s.mu);
    auto it = s.timers.find(timerId);
    if (it == s.timers.end()) return MMSYSERR_INVALPARAM;
    std::shared_ptr<Timer> t = it->second;
    const bool fromOwnCallback = t->inCallback && t->callbackThread == std::this_thread::get_id();
    const bool wasLive = t->live;
    if (wasLive) {
        t->live = false;
        s.timers.erase(it);
        t->wake.notify_all();
    }
    // A fired one-shot is no longer a timer, but its callback is still
    // waited for: after this call no callback of the id is running.
    if (!fromOwnCallback) s.callbackDone.wait(lock, [&] { return !t->inCallback; });
    std::thread thread = wasLive ? std::move(t->thread) : std::thread();
    lock.unlock();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    return wasLive ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

void FailNextTimerCreations(int count) {
    ClockState& s = State();
    std::lock_guard lock(s.mu);
    s.failCreations = std::max(count, 0);
}

}  // namespace plat
