// The connection count against a simulated line on a simulated clock: what the ramp settles on,
// and when a changed line is probed again.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "net/connection_pacer.h"

namespace {

constexpr int64_t kChangeMs = 10000;

// Bytes per millisecond a line gives n connections at a moment.
using Line = std::function<double(int connections, int64_t ms)>;

double Capped(int connections, double perConnection, double line) {
  return std::min(line, perConnection * connections);
}

struct Counts {
  int settled = 0;  // the count just before the line changes
  int most = 0;     // the largest count after it changed
  int last = 0;
};

// Turns of 50 ms for a minute; a connection added answers one turn later.
Counts Simulate(const Line& line, std::optional<int64_t> busyUntilMs) {
  ConnectionPacer pacer(8);
  Counts run;
  double received = 0;
  int active = 1;
  pacer.Start(0, 0);
  for (int64_t now = 50; now <= 60000; now += 50) {
    received += line(active, now) * 50;
    const auto bytes = static_cast<uint64_t>(received);
    if (active < pacer.Target()) {
      active = pacer.Target();
      pacer.Answered(now, bytes);
    }
    active = std::min(active, pacer.Target());
    if (busyUntilMs && now == kChangeMs) pacer.Busy(now, bytes, active, *busyUntilMs);
    active = std::min(active, pacer.Target());
    pacer.Tick(now, bytes, active);
    if (now < kChangeMs) run.settled = pacer.Target();
    if (now > kChangeMs) run.most = std::max(run.most, pacer.Target());
    run.last = pacer.Target();
  }
  return run;
}

TEST(ConnectionPacer, SettlesOnWhatPaysAndProbesAgainWhenTheLineChanges) {
  struct Case {
    const char* name;
    Line line;
    std::optional<int64_t> busyUntilMs;
    int settled;
    int most;
    int last;
  };
  const Case cases[] = {
      {"steady line: left alone", [](int n, int64_t) { return Capped(n, 10, 40); }, {}, 4, 4, 4},
      {"each connection paced harder: connections added while they pay",
       [](int n, int64_t ms) { return Capped(n, ms < kChangeMs ? 10 : 5, 40); }, {}, 4, 8, 8},
      {"the line itself slower: the probe's connection dropped",
       [](int n, int64_t ms) { return Capped(n, 10, ms < kChangeMs ? 40 : 20); }, {}, 4, 5, 4},
      {"a Retry-After passed: the connection it cost comes back",
       [](int n, int64_t) { return Capped(n, 10, 40); }, kChangeMs + 2000, 4, 5, 4},
      {"one connection fills the line", [](int n, int64_t) { return Capped(n, 40, 40); }, {}, 1,
       1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStdout();
    const Counts run = Simulate(c.line, c.busyUntilMs);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(run.settled, c.settled);
    EXPECT_EQ(run.most, c.most);
    EXPECT_EQ(run.last, c.last);
  }
}

}  // namespace
