#pragma once
// A table of bounded message queues by key: thread ids for thread messages,
// window handles for message windows.
//
//   poster --Find(key)--> Queue::Push (bounded FIFO) --> Take / TryTake / TakeWithin
//
// A queue leaves the table before it is closed, and a closed queue refuses
// pushes, so a push racing with the removal either lands before the queue is
// emptied (and its message is destroyed with the queue) or fails. What a
// removed queue still held is destroyed outside every lock: destructors of
// payloads may post or take locks of their own.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace plat::detail {

template <class Message>
struct MessageQueue {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<Message> messages;
    bool closed = false;

    // False when closed, or when `limit` messages wait already.
    bool Push(Message&& message, std::size_t limit) {
        {
            std::lock_guard lock(mu);
            if (closed || messages.size() >= limit) return false;
            messages.push_back(std::move(message));
        }
        cv.notify_one();
        return true;
    }
    // Takes the first message; false when none waits.
    bool TryTake(Message& out) {
        std::lock_guard lock(mu);
        return TakeLocked(out);
    }
    // Waits for a message and takes it; false when the queue closed.
    bool Take(Message& out) {
        std::unique_lock lock(mu);
        cv.wait(lock, [&] { return closed || !messages.empty(); });
        return TakeLocked(out);
    }
    // As Take, waiting at most `timeout`.
    bool TakeWithin(Message& out, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mu);
        cv.wait_for(lock, timeout, [&] { return closed || !messages.empty(); });
        return TakeLocked(out);
    }
    std::size_t Size() {
        std::lock_guard lock(mu);
        return messages.size();
    }

private:
    bool TakeLocked(Message& out) {
        if (closed || messages.empty()) return false;
        out = std::move(messages.front());
        messages.pop_front();
        return true;
    }
};

template <class Key, class Message>
class KeyedQueues {
public:
    using Queue = MessageQueue<Message>;

    std::shared_ptr<Queue> Find(Key key) const {
        std::lock_guard lock(mu_);
        auto it = queues_.find(key);
        return it == queues_.end() ? nullptr : it->second;
    }
    // Adds an empty queue under `key`; false when one is there already.
    bool Add(Key key) {
        std::lock_guard lock(mu_);
        auto& slot = queues_[key];
        if (slot) return false;
        slot = std::make_shared<Queue>();
        return true;
    }
    // Takes the queue out of the table, closes it (its waiters give up) and
    // destroys what it held; false when there was none.
    bool Remove(Key key) {
        std::shared_ptr<Queue> q;
        {
            std::lock_guard lock(mu_);
            auto it = queues_.find(key);
            if (it == queues_.end()) return false;
            q = std::move(it->second);
            queues_.erase(it);
        }
        std::deque<Message> pending;
        {
            std::lock_guard lock(q->mu);
            q->closed = true;
            pending.swap(q->messages);
        }
        q->cv.notify_all();
        return true;  // `pending` goes here, outside every lock
    }

private:
    mutable std::mutex mu_;
    std::unordered_map<Key, std::shared_ptr<Queue>> queues_;
};

}  // namespace plat::detail
