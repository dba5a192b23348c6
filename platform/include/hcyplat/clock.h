#pragma once
// One clock for every timer, sleep and time query of the library.
//
// Real form: milliseconds of a steady clock since the platform was loaded.
// Manual form (tests): time stands still until AdvanceClock moves it; every
// timer callback that falls due runs on the thread that advances, in time
// order, and a thread in Sleep wakes once the clock has passed its deadline.
// Switch forms only while no timer exists.
#include <cstdint>

#include "hcyplat/types.h"

namespace plat {

void UseManualClock();
void UseRealClock();
bool IsManualClock();

// Milliseconds on the current clock (wraps at 2^32, like the system's).
DWORD timeGetTime();
// Real form: milliseconds since the machine started (the PDU timestamps);
// manual form: the manual time.
DWORD GetTickCount();

// Microseconds on the current clock, for the sound system's frame timing.
// Real form: the system's monotonic clock (one time line for every process
// of the machine); manual form: the manual time x 1000.
std::uint64_t ClockMicroseconds();

// Blocks the calling thread for `ms` milliseconds of the current clock.
void Sleep(DWORD ms);

// Manual clock only (no effect on the real clock): moves time forward by
// `ms`, running every timer callback due on the way on the calling thread.
void AdvanceClock(DWORD ms);

}  // namespace plat
