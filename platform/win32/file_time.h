#pragma once

#include <windows.h>

#include <cstdint>

namespace platform {

// A FILETIME (100-ns ticks since 1601-01-01 UTC) as milliseconds since 1970-01-01 UTC.
inline int64_t FileTimeToUnixMs(const FILETIME& time) {
  // The tick count at 1970-01-01 00:00:00 UTC.
  constexpr int64_t kUnixEpochTicks = 116444736000000000LL;
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) |
                        static_cast<int64_t>(time.dwLowDateTime);
  return (ticks - kUnixEpochTicks) / 10000;
}

}  // namespace platform
