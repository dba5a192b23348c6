#pragma once
// A writer-preferring reader/writer lock for the handle tables.
//
// Readers (the update tick, every dispatcher) share it; writers (create,
// open, destroy, close, shut-down) hold it alone. Once a writer waits, new
// readers wait behind it, so continuous Signal traffic cannot starve a
// device close. Meets the SharedMutex requirements (std::shared_lock,
// std::unique_lock). Not recursive: a reader must not take it again.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace hcy {

class WriterPreferringLock {
public:
    void lock() {
        std::unique_lock<std::mutex> guard(mutex_);
        ++writersWaiting_;
        writerGate_.wait(guard, [&] { return !writerActive_ && readers_ == 0; });
        --writersWaiting_;
        writerActive_ = true;
    }
    // As lock, but gives up at `deadline`; readers held back meanwhile go on.
    template <class Clock, class Duration>
    bool try_lock_until(const std::chrono::time_point<Clock, Duration>& deadline) {
        {
            std::unique_lock<std::mutex> guard(mutex_);
            ++writersWaiting_;
            const bool free = writerGate_.wait_until(
                guard, deadline, [&] { return !writerActive_ && readers_ == 0; });
            --writersWaiting_;
            if (free) {
                writerActive_ = true;
                return true;
            }
        }
        readerGate_.notify_all();
        return false;
    }
    bool try_lock() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (writerActive_ || readers_ != 0) return false;
        writerActive_ = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            writerActive_ = false;
        }
        writerGate_.notify_one();
        readerGate_.notify_all();
    }
    void lock_shared() {
        std::unique_lock<std::mutex> guard(mutex_);
        readerGate_.wait(guard, [&] { return !writerActive_ && writersWaiting_ == 0; });
        ++readers_;
    }
    bool try_lock_shared() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (writerActive_ || writersWaiting_ != 0) return false;
        ++readers_;
        return true;
    }
    void unlock_shared() {
        bool last;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            last = --readers_ == 0;
        }
        if (last) writerGate_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable readerGate_;
    std::condition_variable writerGate_;
    int readers_ = 0;
    int writersWaiting_ = 0;
    bool writerActive_ = false;
};

}  // namespace hcy
