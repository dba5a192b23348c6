#pragma once
// The catch-all boundary of every thread body: no exception leaves a thread
// that the platform or the library starts, and none ends the host process.
//
//   ThreadBoundary(what, body)
//     body returns      -> true
//     body throws       -> the error sink gets (what, text), false
//       std::bad_alloc     text "Out of memory."
//       std::exception     text e.what()
//       anything else      text "Unexpected internal error."
//
// `what` says what the thread was doing, as a gerund phrase ("running the
// update tick"); it must outlive the call (a string literal). The caller
// decides what follows: a worker or pump goes on with its next message or
// tick, any other body ends cleanly.
//
// Where it is used:
// - plat::Thread::Start runs every body inside one ("running thread
//   <name>"), so that even a body without boundaries of its own ends
//   cleanly.
// - Every timer callback runs inside one (kTimerCallback), on the timer
//   thread (real clock) or on the advancing thread (manual clock).
// - The virtual sound pumps run each tick inside one (kSoundPump).
// - Loops that must go on wrap each message, datagram or tick in one of
//   their own, with their own `what`.
//
// The error sink: the platform sits below the library and cannot store the
// library's last error itself, so the library installs a sink at load
// (SetThreadErrorSink) and removes it at unload. Without a sink the report
// joins the platform's reports (hcyplat/report.h).
#include <exception>
#include <utility>

namespace plat {

inline constexpr const char* kTimerCallback = "running a timer callback";
inline constexpr const char* kSoundPump = "pumping a sound endpoint";

// Receives what a thread was doing and the exception's text; called on the
// thread that caught it. Must not throw.
using ThreadErrorSink = void (*)(const char* what, const char* error);

// Installs the sink (null: the platform's reports); returns the previous one.
ThreadErrorSink SetThreadErrorSink(ThreadErrorSink sink);

// Reports the exception being handled to the sink. Call only inside a
// catch block.
void ReportCurrentException(const char* what) noexcept;

// Test hook: the next `count` boundaries entered with exactly this `what`
// (compared as text) throw std::runtime_error("injected fault") instead of
// running their body. Null clears it.
void InjectThreadFaultForTest(const char* what, int count = 1);

namespace detail {
bool ThreadFaultArmed() noexcept;
void ThrowIfThreadFaultInjected(const char* what);
}  // namespace detail

template <class F>
bool ThreadBoundary(const char* what, F&& body) noexcept {
    try {
        if (detail::ThreadFaultArmed()) detail::ThrowIfThreadFaultInjected(what);
        std::forward<F>(body)();
        return true;
    } catch (...) {
        ReportCurrentException(what);
    }
    return false;
}

}  // namespace plat
