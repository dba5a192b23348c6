#pragma once
// Platform reports: what the platform could not do for its host (a raised
// thread priority the system refused, a sound device that failed), one line
// of text each. A library does not write to its host's terminal: reports
// wait in a bounded queue that the host reads (hcyplatTakeReport) and prints
// or routes as it likes.
//
// Threads: any thread may report or take; neither call blocks on anything
// but a short lock.
#include <cstddef>

namespace plat {

// The queue keeps the oldest kReportLimit reports; later ones are dropped
// until the host takes some (a report repeated that often says nothing new).
inline constexpr std::size_t kReportLimit = 32;

// Queues one report, printf-style. Never throws; out of memory, it is lost.
void Report(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// Takes the oldest report into text (at most size - 1 bytes and a NUL) and
// returns its length in bytes, or -1 when none waits.
int TakeReport(char* text, int size) noexcept;

}  // namespace plat
