#include <windows.h>

#include "platform/clock.h"

namespace platform {

int64_t UtcNowMs() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  FILETIME fileTime{};
  ::SystemTimeToFileTime(&now, &fileTime);
  const int64_t ticks = (static_cast<int64_t>(fileTime.dwHighDateTime) << 32) |
                        static_cast<int64_t>(fileTime.dwLowDateTime);
  // 100-ns ticks since 1601-01-01; the offset is the count at 1970-01-01.
  return (ticks - 116444736000000000LL) / 10000;
}

uint32_t TickCountMs() { return ::GetTickCount(); }

int64_t PerformanceCounter() {
  LARGE_INTEGER value{};
  ::QueryPerformanceCounter(&value);
  return value.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER value{};
  ::QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

void SleepMs(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
