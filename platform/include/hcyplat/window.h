#pragma once
// Message windows: the host names a window, the library posts to it.
// Windows live in one registry of the platform library, shared by the host
// and the library. Each has a bounded queue (kMessageQueueLimit messages);
// PostMessage fails (returns false) for an unknown or destroyed window or a
// full queue.
#include "hcyplat/types.h"

namespace plat {

HWND CreateMessageWindow();
bool DestroyMessageWindow(HWND window);
bool IsWindow(HWND window);

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WindowMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Takes the oldest message posted to the window; false when there is none.
bool PeekWindowMessage(HWND window, WindowMessage& out);
// Waits at most timeoutMs of real time for a message.
bool WaitWindowMessage(HWND window, WindowMessage& out, DWORD timeoutMs);

// Headless there is no foreground window (0) and the desktop is a fixed
// non-zero handle; tests may change both.
HWND GetForegroundWindow();
HWND GetDesktopWindow();
void SetForegroundWindowForTest(HWND window);
void SetDesktopWindowForTest(HWND window);

}  // namespace plat
