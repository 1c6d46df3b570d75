#include "platform/clock.h"

#include <time.h>

namespace platform {

int64_t UtcNowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint32_t TickCountMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

int64_t PerformanceCounter() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t PerformanceFrequency() { return 1000000000; }

void SleepMs(uint32_t milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000),
              static_cast<long>(milliseconds % 1000) * 1000000};
  while (::nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace platform
