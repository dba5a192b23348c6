// Message windows: a table of handles, each with a bounded queue that the
// library posts to and the host drains.
#include "hcyplat/window.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "hcyplat/thread.h"

namespace plat {
namespace {

// The desktop's handle when no test replaces it; window handles are counted
// from kFirstWindow, so none of them collides with it.
constexpr HWND kDesktopWindow = 0x10010;
constexpr HWND kFirstWindow = 0x20000;

struct WindowQueue {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<WindowMessage> messages;
    bool destroyed = false;
};

struct WindowTable {
    std::mutex mu;
    std::unordered_map<HWND, std::shared_ptr<WindowQueue>> windows;
    HWND next = kFirstWindow;
};

// Library threads may still post while static objects are destroyed at
// exit, so the table is never destroyed.
WindowTable& Table() {
    static WindowTable* table = new WindowTable;
    return *table;
}

std::atomic<HWND> g_foreground{0};
std::atomic<HWND> g_desktop{kDesktopWindow};

std::shared_ptr<WindowQueue> Find(HWND window) {
    WindowTable& t = Table();
    std::lock_guard lock(t.mu);
    auto it = t.windows.find(window);
    return it == t.windows.end() ? nullptr : it->second;
}

}  // namespace

HWND CreateMessageWindow() {
    WindowTable& t = Table();
    std::lock_guard lock(t.mu);
    // Handles are never reused; 0 and the desktop's are skipped on wrap.
    while (t.next == 0 || t.next == kDesktopWindow || t.windows.count(t.next) != 0) ++t.next;
    const HWND window = t.next++;
    t.windows.emplace(window, std::make_shared<WindowQueue>());
    return window;
}

bool DestroyMessageWindow(HWND window) {
    std::shared_ptr<WindowQueue> q;
    {
        WindowTable& t = Table();
        std::lock_guard lock(t.mu);
        auto it = t.windows.find(window);
        if (it == t.windows.end()) return false;
        q = std::move(it->second);
        t.windows.erase(it);
    }
    {
        std::lock_guard lock(q->mu);
        q->destroyed = true;
        q->messages.clear();
    }
    q->cv.notify_all();  // waiters give up
    return true;
}

bool IsWindow(HWND window) { return window != 0 && Find(window) != nullptr; }

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<WindowQueue> q = Find(window);
    if (!q) return false;
    {
        std::lock_guard lock(q->mu);
        if (q->destroyed || q->messages.size() >= kMessageQueueLimit) return false;
        q->messages.push_back(WindowMessage{message, wParam, lParam});
    }
    q->cv.notify_one();
    return true;
}

bool PeekWindowMessage(HWND window, WindowMessage& out) {
    std::shared_ptr<WindowQueue> q = Find(window);
    if (!q) return false;
    std::lock_guard lock(q->mu);
    if (q->messages.empty()) return false;
    out = q->messages.front();
    q->messages.pop_front();
    return true;
}

bool WaitWindowMessage(HWND window, WindowMessage& out, DWORD timeoutMs) {
    std::shared_ptr<WindowQueue> q = Find(window);
    if (!q) return false;
    std::unique_lock lock(q->mu);
    const bool ready = q->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return q->destroyed || !q->messages.empty(); });
    if (!ready || q->destroyed) return false;
    out = q->messages.front();
    q->messages.pop_front();
    return true;
}

HWND GetForegroundWindow() { return g_foreground.load(); }
HWND GetDesktopWindow() { return g_desktop.load(); }
void SetForegroundWindowForTest(HWND window) { g_foreground.store(window); }
void SetDesktopWindowForTest(HWND window) { g_desktop.store(window); }

}  // namespace plat
