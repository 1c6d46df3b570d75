// The connection count against a simulated line on a simulated clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "net/connection_pacer.h"

namespace {

constexpr int64_t kChangeMs = 10000;

// Bytes per millisecond n connections get: each capped, and the line.
double Capped(int n, double perConnection, double line) {
  return std::min(line, perConnection * n);
}

TEST(ConnectionPacer, SettlesOnWhatPaysAndProbesAgainWhenTheLineChanges) {
  struct Case {
    const char* name;
    std::function<double(int, int64_t)> line;
    int64_t busyUntilMs;  // 0: the server is never busy
    int settled;          // before the change at kChangeMs
    int most;             // after it
    int last;
  };
  const Case cases[] = {
      {"steady line: left alone", [](int n, int64_t) { return Capped(n, 10, 40); }, 0, 4, 4, 4},
      {"connections paced harder: added while they pay",
       [](int n, int64_t ms) { return Capped(n, ms < kChangeMs ? 10 : 5, 40); }, 0, 4, 8, 8},
      {"the line slower: the probe's connection dropped",
       [](int n, int64_t ms) { return Capped(n, 10, ms < kChangeMs ? 40 : 20); }, 0, 4, 5, 4},
      {"a Retry-After passed: the connection it cost comes back",
       [](int n, int64_t) { return Capped(n, 10, 40); }, kChangeMs + 2000, 4, 5, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStdout();
    ConnectionPacer pacer(8);
    pacer.Start(0, 0);
    double received = 0;
    int active = 1;
    int settled = 0;
    int most = 0;
    // Turns of 50 ms for a minute; a connection added answers a turn later.
    for (int64_t now = 50; now <= 60000; now += 50) {
      received += c.line(active, now) * 50;
      const auto bytes = static_cast<uint64_t>(received);
      if (active < pacer.Target()) pacer.Answered(now, bytes);
      active = pacer.Target();
      if (c.busyUntilMs != 0 && now == kChangeMs) pacer.Busy(now, bytes, active, c.busyUntilMs);
      active = pacer.Target();
      pacer.Tick(now, bytes, active);
      if (now < kChangeMs) {
        settled = pacer.Target();
      } else {
        most = std::max(most, pacer.Target());
      }
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(settled, c.settled);
    EXPECT_EQ(most, c.most);
    EXPECT_EQ(pacer.Target(), c.last);
  }
}

}  // namespace
