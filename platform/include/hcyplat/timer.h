#pragma once
// Multimedia timers: timeSetEvent / timeKillEvent.
//
// Contract:
// - Callbacks of one timer never overlap. A periodic timer that falls behind
//   does not catch up with a burst: late ticks are dropped.
// - Real clock: each timer has a thread of its own. Manual clock: callbacks
//   run inside AdvanceClock on the advancing thread.
// - timeKillEvent stops the timer and waits for a callback in flight to
//   return, unless it is called from that callback (then it only stops it).
//   It returns TIMERR_NOERROR, or MMSYSERR_INVALPARAM for an id that is not
//   a live timer (never created, killed, or a one-shot that has fired).
// - Never call timeKillEvent while holding a lock that the callback takes.
// - Real clock: timer threads run at time-critical priority, as the
//   system's timer service does (best effort: see SetCurrentThreadPriority).
#include <cstdint>

#include "hcyplat/thread_boundary.h"
#include "hcyplat/types.h"

namespace plat {

using LPTIMECALLBACK = void (*)(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR dw1,
                                DWORD_PTR dw2);

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

// Returns the timer's id (never 0), or 0 when it cannot be created.
UINT timeSetEvent(UINT delayMs, UINT resolutionMs, LPTIMECALLBACK callback, DWORD_PTR user,
                  UINT flags);
MMRESULT timeKillEvent(UINT timerId);

// A timer whose callback calls `Handler` of `object` with the timer's id,
// inside the thread boundary named `kWhat`. Returns its id, or 0.
template <class T, void (T::*Handler)(UINT), const char* const& kWhat>
UINT timeSetMemberEvent(UINT delayMs, UINT resolutionMs, T* object, UINT flags) {
    struct Callback {
        static void Call(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
            T* self = reinterpret_cast<T*>(user);
            ThreadBoundary(kWhat, [&] { (self->*Handler)(timerId); });
        }
    };
    return timeSetEvent(delayMs, resolutionMs, &Callback::Call, reinterpret_cast<DWORD_PTR>(object),
                        flags);
}

// A pump: a timer that chooses when it runs next. Its callback gets the
// clock time [us] and returns the clock time of its next call (a time
// already past runs it again soon: at the next millisecond on the manual
// clock, 100 us later on the real one). Contract as above; killed with
// timeKillEvent. Returns its id, or 0.
using LPPUMPCALLBACK = std::uint64_t (*)(DWORD_PTR user, std::uint64_t nowUs);
UINT timeSetPump(std::uint64_t firstDueUs, LPPUMPCALLBACK callback, DWORD_PTR user);

// Test hook: the next `count` timeSetEvent or timeSetPump calls fail (return 0).
void FailNextTimerCreations(int count);

}  // namespace plat
