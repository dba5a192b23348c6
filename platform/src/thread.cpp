// Thread message queues and plat::Thread.
//
//   poster ──PostThreadMessage(id)──> queue table (id -> Queue) ──> Queue (bounded FIFO)
//                                                                      │
//   owner thread <──GetMessage / PeekMessage / WaitMessage─────────────┘
//
// A queue leaves the table before it is closed, and a closed queue refuses
// posts, so a post racing with the end of a thread either lands before the
// queue is emptied (and its payload is destroyed with the queue) or fails.
#include "hcyplat/thread.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "hcyplat/report.h"
#include "hcyplat/thread_boundary.h"
#include "keyed_queues.h"

namespace plat {
namespace {

using Queue = detail::MessageQueue<MSG>;

// Threads started through plat may still run while static objects are
// destroyed at exit, so the table is never destroyed.
detail::KeyedQueues<ThreadId, MSG>& Table() {
    static auto* table = new detail::KeyedQueues<ThreadId, MSG>;
    return *table;
}

std::atomic<ThreadId> g_nextId{1};

// Ids count up and are never handed out twice; 0 means "no thread".
ThreadId NewThreadId() {
    ThreadId id = g_nextId.fetch_add(1, std::memory_order_relaxed);
    while (id == 0) id = g_nextId.fetch_add(1, std::memory_order_relaxed);
    return id;
}

std::shared_ptr<Queue> FindQueue(ThreadId id) { return Table().Find(id); }
void CreateQueue(ThreadId id) { Table().Add(id); }
void RemoveQueue(ThreadId id) { Table().Remove(id); }

// The calling thread's id and whether it owns a queue. A thread that ends
// with a queue removes it, so posts to an ended thread fail.
struct ThreadState {
    ThreadId id = 0;
    bool hasQueue = false;
    ~ThreadState() {
        if (hasQueue) RemoveQueue(id);
    }
};

thread_local ThreadState t_state;

ThreadId CurrentId() {
    if (t_state.id == 0) t_state.id = NewThreadId();
    return t_state.id;
}

std::shared_ptr<Queue> OwnQueue() {
    EnsureMessageQueue();
    return FindQueue(t_state.id);
}

}  // namespace

bool PostThreadMessage(ThreadId thread, UINT message, WPARAM wParam, LPARAM lParam,
                       std::unique_ptr<MessagePayload> payload) {
    // On failure `payload` dies with this frame, after every lock is released.
    std::shared_ptr<Queue> q = thread == 0 ? nullptr : FindQueue(thread);
    if (!q) return false;
    MSG msg;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.payload = std::move(payload);
    return q->Push(std::move(msg), kMessageQueueLimit);
}

ThreadId GetCurrentThreadId() { return CurrentId(); }

void EnsureMessageQueue() {
    ThreadId id = CurrentId();
    if (t_state.hasQueue) return;
    CreateQueue(id);
    t_state.hasQueue = true;
}

void DestroyMessageQueue() {
    if (!t_state.hasQueue) return;
    t_state.hasQueue = false;
    RemoveQueue(t_state.id);
}

bool GetMessage(MSG& out) {
    // The own queue closes only when its thread ends.
    return OwnQueue()->Take(out) && out.message != WM_QUIT;
}

bool PeekMessage(MSG& out, bool remove) {
    std::shared_ptr<Queue> q = OwnQueue();
    if (remove) return q->TryTake(out);
    std::lock_guard lock(q->mu);
    if (q->messages.empty()) return false;
    const MSG& front = q->messages.front();
    out.message = front.message;
    out.wParam = front.wParam;
    out.lParam = front.lParam;
    out.payload.reset();
    return true;
}

bool WaitMessage(MSG& out, std::chrono::milliseconds timeout) {
    return OwnQueue()->TakeWithin(out, timeout);
}

void PostQuitMessage(int exitCode) {
    std::shared_ptr<Queue> q = OwnQueue();
    MSG msg;
    msg.message = WM_QUIT;
    msg.wParam = static_cast<WPARAM>(static_cast<unsigned>(exitCode));
    // The quit request has no way to report failure, so it may exceed the
    // bound by one rather than leave the thread running forever.
    q->Push(std::move(msg), std::numeric_limits<std::size_t>::max());
}

std::size_t QueuedMessageCount(ThreadId thread) {
    std::shared_ptr<Queue> q = FindQueue(thread);
    return q ? q->Size() : 0;
}

struct Thread::Impl {
    std::thread thread;
};

Thread::~Thread() {
    if (!Joinable()) return;
    if (impl_->thread.get_id() == std::this_thread::get_id())
        impl_->thread.detach();
    else
        impl_->thread.join();
}

bool Thread::Start(std::function<void()> body, std::string name) {
    if (Joinable() || !body) return false;
    // What a report of an exception that ends the body says it was doing.
    std::string what = "running thread " + (name.empty() ? std::string("(unnamed)") : name);
    const ThreadId id = NewThreadId();
    CreateQueue(id);  // before anyone can learn the id
    auto impl = std::make_shared<Impl>();
    try {
        impl->thread = std::thread(
            [id, body = std::move(body), name = std::move(name), what = std::move(what)] {
                t_state.id = id;
                t_state.hasQueue = true;
                if (!name.empty()) {
                    // The system keeps at most 15 characters of a thread name.
                    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
                }
                // Nothing the body throws leaves the thread: it ends cleanly.
                ThreadBoundary(what.c_str(), body);
                DestroyMessageQueue();
            });
    } catch (const std::system_error&) {
        RemoveQueue(id);
        return false;
    }
    impl_ = std::move(impl);
    id_ = id;
    return true;
}

bool Thread::Joinable() const { return impl_ && impl_->thread.joinable(); }

void Thread::Join() {
    if (!Joinable() || impl_->thread.get_id() == std::this_thread::get_id()) return;
    impl_->thread.join();
}

namespace {

// The system's scheduling for a priority level: time-critical -> FIFO,
// highest and above normal -> round robin, normal and below -> the
// ordinary time-sharing policy. False for a value that is no level.
bool SchedulingFor(int priority, int* policy, sched_param* param) {
    *policy = SCHED_OTHER;
    *param = sched_param{};
    switch (priority) {
    case THREAD_PRIORITY_TIME_CRITICAL:
        *policy = SCHED_FIFO;
        param->sched_priority =
            (sched_get_priority_min(SCHED_FIFO) + sched_get_priority_max(SCHED_FIFO)) / 2;
        return true;
    case THREAD_PRIORITY_HIGHEST:
        *policy = SCHED_RR;
        param->sched_priority = sched_get_priority_min(SCHED_RR) + 1;
        return true;
    case THREAD_PRIORITY_ABOVE_NORMAL:
        *policy = SCHED_RR;
        param->sched_priority = sched_get_priority_min(SCHED_RR);
        return true;
    // Normal and the lower levels (idle -15, lowest -2, below normal -1)
    // share the ordinary time-sharing policy.
    case THREAD_PRIORITY_NORMAL:
    case -1:
    case -2:
    case -15: return true;
    default: return false;
    }
}

std::atomic<bool> g_refusalReported{false};

// An unprivileged process gets EPERM for the real-time policies; the thread
// then keeps running at normal priority, and the host hears of it once,
// through the platform's reports. A
// thread whose body has already ended (ESRCH) has no priority to refuse.
void Apply(pthread_t thread, int priority) {
    int policy = SCHED_OTHER;
    sched_param param{};
    if (!SchedulingFor(priority, &policy, &param)) return;
    const int error = pthread_setschedparam(thread, policy, &param);
    if (error != 0 && error != ESRCH && !g_refusalReported.exchange(true))
        Report(
            "the system refused a raised thread priority (%s); timer, sound and network threads "
            "run at normal priority",
            std::strerror(error));
}

}  // namespace

bool Thread::SetPriority(int priority) {
    int policy = 0;
    sched_param param{};
    if (!SchedulingFor(priority, &policy, &param)) return false;
    if (!Joinable()) return false;
    priority_ = priority;
    Apply(impl_->thread.native_handle(), priority);
    return true;
}

bool SetCurrentThreadPriority(int priority) {
    int policy = 0;
    sched_param param{};
    if (!SchedulingFor(priority, &policy, &param)) return false;
    Apply(pthread_self(), priority);
    return true;
}

int GetCurrentThreadPriority() {
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return THREAD_PRIORITY_NORMAL;
    if (policy == SCHED_FIFO) return THREAD_PRIORITY_TIME_CRITICAL;
    if (policy == SCHED_RR)
        return param.sched_priority > sched_get_priority_min(SCHED_RR)
                   ? THREAD_PRIORITY_HIGHEST
                   : THREAD_PRIORITY_ABOVE_NORMAL;
    return THREAD_PRIORITY_NORMAL;
}

}  // namespace plat
