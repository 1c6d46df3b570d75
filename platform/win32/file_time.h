#pragma once

#include <windows.h>

#include <cstdint>

namespace platform {

// The tick count (100 ns since 1601-01-01 UTC) at 1970-01-01 00:00:00 UTC.
inline constexpr int64_t kUnixEpochTicks = 116444736000000000LL;

inline int64_t TicksSinceUnixEpoch(const FILETIME& time) {
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) |
                        static_cast<int64_t>(time.dwLowDateTime);
  return ticks - kUnixEpochTicks;
}

// A FILETIME as milliseconds since 1970-01-01 UTC.
inline int64_t FileTimeToUnixMs(const FILETIME& time) { return TicksSinceUnixEpoch(time) / 10000; }

// A FILETIME as nanoseconds since 1970-01-01 UTC.
inline int64_t FileTimeToUnixNs(const FILETIME& time) { return TicksSinceUnixEpoch(time) * 100; }

}  // namespace platform
