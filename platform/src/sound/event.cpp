// Event objects for capture notifications and the threads that wait on
// them. Few events exist at a time, so one lock and one condition variable
// serve them all.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "hcyplat/event.h"

namespace plat {
namespace {

struct Event {
    bool manualReset = false;
    bool set = false;
};

struct Events {
    std::mutex mu;
    std::condition_variable changed;
    std::map<HANDLE, std::shared_ptr<Event>> table;
    HANDLE next = 1;
};

Events& E() {
    static Events* e = new Events;  // waiters may outlive static destruction
    return *e;
}

}  // namespace

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, const char*) {
    auto ev = std::make_shared<Event>();
    ev->manualReset = manualReset != 0;
    ev->set = initialState != 0;
    std::lock_guard lock(E().mu);
    const HANDLE h = E().next++;
    E().table.emplace(h, std::move(ev));
    return h;
}

BOOL SetEvent(HANDLE event) {
    {
        std::lock_guard lock(E().mu);
        auto it = E().table.find(event);
        if (it == E().table.end()) return 0;
        it->second->set = true;
    }
    E().changed.notify_all();
    return 1;
}

BOOL ResetEvent(HANDLE event) {
    std::lock_guard lock(E().mu);
    auto it = E().table.find(event);
    if (it == E().table.end()) return 0;
    it->second->set = false;
    return 1;
}

BOOL CloseHandle(HANDLE event) {
    std::lock_guard lock(E().mu);
    return E().table.erase(event) ? 1 : 0;
}

DWORD WaitForSingleObject(HANDLE event, DWORD timeoutMs) {
    return WaitForMultipleObjects(1, &event, 0, timeoutMs);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* events, BOOL waitAll, DWORD timeoutMs) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !events || waitAll) return WAIT_FAILED;
    std::unique_lock lock(E().mu);
    std::shared_ptr<Event> evs[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        auto it = E().table.find(events[i]);
        if (it == E().table.end()) return WAIT_FAILED;
        evs[i] = it->second;
    }
    DWORD hit = WAIT_TIMEOUT;
    auto ready = [&] {
        for (DWORD i = 0; i < count; ++i)
            if (evs[i]->set) {
                hit = i;
                return true;
            }
        return false;
    };
    if (timeoutMs == INFINITE)
        E().changed.wait(lock, ready);
    else if (!E().changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return WAIT_TIMEOUT;
    if (!evs[hit]->manualReset) evs[hit]->set = false;
    return WAIT_OBJECT_0 + hit;
}

}  // namespace plat
