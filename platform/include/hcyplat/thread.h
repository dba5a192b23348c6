#pragma once
// Threads with message queues: the shape of AfxBeginThread, PostThreadMessage,
// GetMessage and PeekMessage.
//
// Contract:
// - A thread started by plat::Thread::Start owns a queue that exists before
//   its id is published, so a post right after Start is never lost.
// - Queues are ordered (first posted, first taken) and bounded
//   (kMessageQueueLimit messages). A post to a full queue, to an id with no
//   queue, or to a thread that has ended fails and returns false; the payload
//   is then destroyed by the failed post (the poster keeps nothing to free).
// - A message's payload belongs to whoever holds the message. A queue that
//   is destroyed with messages in it (its thread ended) destroys their
//   payloads.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "hcyplat/types.h"

namespace plat {

// Heap data that travels with a message and belongs to whoever holds it.
struct MessagePayload {
    virtual ~MessagePayload() = default;
};

template <class T>
struct Boxed final : MessagePayload {
    template <class... A>
    explicit Boxed(A&&... args) : value(std::forward<A>(args)...) {}
    T value;
};

template <class T, class... A>
std::unique_ptr<MessagePayload> MakePayload(A&&... args) {
    return std::make_unique<Boxed<T>>(std::forward<A>(args)...);
}

// The payload of a message as a T, or null when it holds none or another type.
template <class T>
T* PayloadAs(const std::unique_ptr<MessagePayload>& p) {
    auto* boxed = dynamic_cast<Boxed<T>*>(p.get());
    return boxed ? &boxed->value : nullptr;
}

struct MSG {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::unique_ptr<MessagePayload> payload;
};

constexpr std::size_t kMessageQueueLimit = 10000;

bool PostThreadMessage(ThreadId thread, UINT message, WPARAM wParam, LPARAM lParam,
                       std::unique_ptr<MessagePayload> payload = nullptr);

// The calling thread's id. Threads not started by plat::Thread get an id too
// (and a queue on first use of EnsureMessageQueue).
ThreadId GetCurrentThreadId();

// Gives the calling thread a queue if it has none (a host or test thread
// that wants to receive thread messages).
void EnsureMessageQueue();

// Removes the calling thread's queue (its pending payloads are destroyed).
// Threads started by plat::Thread do this themselves when they end.
void DestroyMessageQueue();

// Takes the next message of the calling thread's queue, waiting for one.
// Returns false when the message is WM_QUIT. The calling thread must have
// a queue.
bool GetMessage(MSG& out);

// Takes (remove = true) or looks at (remove = false; payload stays queued,
// out.payload is left empty) the next message without waiting. Returns false
// when the queue is empty.
bool PeekMessage(MSG& out, bool remove = true);

// Waits at most `timeout` (real time) for a message and takes it.
bool WaitMessage(MSG& out, std::chrono::milliseconds timeout);

// Posts WM_QUIT to the calling thread's own queue.
void PostQuitMessage(int exitCode);

// Number of messages waiting in a thread's queue (0 when it has none).
std::size_t QueuedMessageCount(ThreadId thread);

// Thread priorities, by their system names.
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

// Asks the system for `priority` for the calling thread, as
// Thread::SetPriority does for its thread: best effort, a refusal is
// reported once through the platform's reports and the thread goes on at
// normal priority. False for a value that is no priority level.
bool SetCurrentThreadPriority(int priority);
// The level the system runs the calling thread at (time-critical, highest,
// above normal or normal).
int GetCurrentThreadPriority();

// A joinable thread with a message queue.
class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread();  // joins a thread that is still joinable

    // Creates the queue, starts the thread running `body`, and only then
    // returns with the id published. When `body` returns, the queue is
    // destroyed. Returns false when the thread cannot be started.
    bool Start(std::function<void()> body, std::string name = {});

    ThreadId Id() const { return id_; }
    bool Joinable() const;
    void Join();

    // Best effort: asks the system for a matching scheduling priority; a
    // refusal (an unprivileged process) is reported once and the thread
    // goes on. The requested value is kept so that callers and tests can
    // read it back.
    bool SetPriority(int priority);
    int RequestedPriority() const { return priority_; }

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
    ThreadId id_ = 0;
    int priority_ = THREAD_PRIORITY_NORMAL;
};

}  // namespace plat
