// Message windows: a table of handles, each with a bounded queue that the
// library posts to and the host drains.
#include "hcyplat/window.h"

#include <atomic>
#include <chrono>
#include <memory>

#include "hcyplat/thread.h"
#include "keyed_queues.h"

namespace plat {
namespace {

// The desktop's handle when no test replaces it; window handles are counted
// from kFirstWindow, so none of them collides with it.
constexpr HWND kDesktopWindow = 0x10010;
constexpr HWND kFirstWindow = 0x20000;

using WindowQueue = detail::MessageQueue<WindowMessage>;

// Library threads may still post while static objects are destroyed at
// exit, so the table is never destroyed.
detail::KeyedQueues<HWND, WindowMessage>& Table() {
    static auto* table = new detail::KeyedQueues<HWND, WindowMessage>;
    return *table;
}

// The next handle to try.
std::atomic<HWND> g_next{kFirstWindow};
std::atomic<HWND> g_foreground{0};
std::atomic<HWND> g_desktop{kDesktopWindow};

std::shared_ptr<WindowQueue> Find(HWND window) { return Table().Find(window); }

}  // namespace

HWND CreateMessageWindow() {
    // Handles are never reused; 0 and the desktop's are skipped on wrap.
    for (;;) {
        const HWND window = g_next.fetch_add(1);
        if (window != 0 && window != kDesktopWindow && Table().Add(window)) return window;
    }
}

bool DestroyMessageWindow(HWND window) { return Table().Remove(window); }

bool IsWindow(HWND window) { return window != 0 && Find(window) != nullptr; }

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<WindowQueue> q = Find(window);
    return q && q->Push(WindowMessage{message, wParam, lParam}, kMessageQueueLimit);
}

bool PeekWindowMessage(HWND window, WindowMessage& out) {
    std::shared_ptr<WindowQueue> q = Find(window);
    return q && q->TryTake(out);
}

bool WaitWindowMessage(HWND window, WindowMessage& out, DWORD timeoutMs) {
    std::shared_ptr<WindowQueue> q = Find(window);
    return q && q->TakeWithin(out, std::chrono::milliseconds(timeoutMs));
}

HWND GetForegroundWindow() { return g_foreground.load(); }
HWND GetDesktopWindow() { return g_desktop.load(); }
void SetForegroundWindowForTest(HWND window) { g_foreground.store(window); }
void SetDesktopWindowForTest(HWND window) { g_desktop.store(window); }

}  // namespace plat
