#pragma once
// Event objects: CreateEvent / SetEvent / ResetEvent / WaitForMultipleObjects
// / CloseHandle, as the capture buffer's notifications and the threads that
// wait on them use them.
//
// Contract:
// - A HANDLE is a number, never 0 and never reused; a closed or unknown
//   handle makes SetEvent/ResetEvent fail (0) and a wait return WAIT_FAILED.
// - An auto-reset event stays set until one wait takes it; a wait on several
//   events (any of them) returns the lowest set index and resets only that
//   event. Manual-reset events stay set until ResetEvent.
// - Timeouts are real time [ms]; INFINITE waits without limit. Waiting for
//   all events at once is not offered (WAIT_FAILED).
#include "hcyplat/types.h"

namespace plat {

using HANDLE = std::uintptr_t;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// `attributes` and `name` are accepted and ignored (no named events).
// Returns 0 only when no event can be made.
HANDLE CreateEvent(void* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
BOOL CloseHandle(HANDLE event);

DWORD WaitForSingleObject(HANDLE event, DWORD timeoutMs);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* events, BOOL waitAll, DWORD timeoutMs);

}  // namespace plat
