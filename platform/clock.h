#pragma once
// Time sources: wall clock, the 32-bit tick count, the high-resolution counter, sleeping.

#include <cstdint>

namespace platform {

// Milliseconds since 1970-01-01 00:00:00 UTC, from the system time.
int64_t UtcNowMs();
// GetTickCount: milliseconds since an arbitrary start, wrapping after about 49.7 days.
uint32_t TickCountMs();
// QueryPerformanceCounter / QueryPerformanceFrequency: a monotonic counter and its ticks per second.
int64_t PerformanceCounter();
int64_t PerformanceFrequency();
// Sleep.
void SleepMs(uint32_t milliseconds);

}  // namespace platform
