#include <windows.h>

#include "platform/clock.h"
#include "platform/win32/file_time.h"

namespace platform {

int64_t UtcNowMs() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  FILETIME fileTime{};
  ::SystemTimeToFileTime(&now, &fileTime);
  return FileTimeToUnixMs(fileTime);
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
