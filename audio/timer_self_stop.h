#pragma once
// A timer that stops its own object at the end of a file (the WAV player,
// the playback device) runs that stop on its own thread, which goes on using
// the object (closing the file, notifying) after the state says stopped.
// Whoever closes or destroys the object waits for that stop to finish, but
// never the timer's thread itself: its own notice may close the object.
//
//   timer thread:  [mutex] MarkOwnStop ... RunOwnStop(Stop) --> cleared, woken
//   closer:        Stop; [mutex] AwaitOwnStop --> none under way, or it is ours
//
// Exclusion: the object's mutex and condition, handed in; the condition is
// notified when the stop ends, however it ends.
#include <condition_variable>
#include <mutex>
#include <thread>

class CTimerSelfStop {
public:
    CTimerSelfStop(std::mutex& mutex, std::condition_variable& ended)
        : m_mutex(mutex), m_ended(ended) {}
    CTimerSelfStop(const CTimerSelfStop&) = delete;
    CTimerSelfStop& operator=(const CTimerSelfStop&) = delete;

    // Mutex held, on the timer's thread: its stop begins.
    void MarkOwnStop() { m_stopper = std::this_thread::get_id(); }

    // Mutex not held, on the timer's thread after MarkOwnStop: runs `stop`,
    // then clears the mark and wakes the waiters (also when `stop` throws).
    template <class Stop>
    void RunOwnStop(Stop&& stop) {
        struct Cleared {
            CTimerSelfStop& self;
            ~Cleared() {
                std::lock_guard<std::mutex> lock(self.m_mutex);
                self.m_stopper = {};
                self.m_ended.notify_all();
            }
        } cleared{*this};
        stop();
    }

    // Mutex held through `lock`: waits until no timer's own stop is under
    // way. False at once on the stopping timer's own thread (a notice of its
    // stop), which must not wait for itself.
    bool AwaitOwnStop(std::unique_lock<std::mutex>& lock) {
        if (m_stopper == std::this_thread::get_id()) return false;
        m_ended.wait(lock, [&] { return m_stopper == std::thread::id(); });
        return true;
    }

private:
    std::mutex& m_mutex;
    std::condition_variable& m_ended;
    std::thread::id m_stopper;  // the timer's thread while it stops (mutex held)
};
