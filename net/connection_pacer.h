#pragma once
// How many connections a package is fetched over, from the total rate they reach.
//
// The count starts at one and doubles while each connection added still brings a tenth more
// rate; from a step that brought less, only the connections its growth pays for stay. That
// first ramp settles the count, but a line changes under a long download: a path turns lossy, a
// CDN tightens its pacing, a busy server's Retry-After runs out. So the settled count watches
// the rate over windows of a few seconds, and probes again when a window falls a quarter below
// the best one since it settled, or once a Retry-After that cost it a connection has passed: one
// connection more, kept only when the next step beats the window before it by a tenth, and then
// another probe; a connection that does not pay is dropped, and the watch goes on from the rate
// there is now.

#include <cstdint>

class ConnectionPacer {
 public:
  explicit ConnectionPacer(int maxConnections) : max_(maxConnections) {}

  int Target() const { return target_; }

  // Measuring starts: the first answer named the package's size.
  void Start(int64_t nowMs, uint64_t received);
  // A connection's first bytes arrived: the step that measures a connection just added starts
  // with them rather than with its handshake.
  void Answered(int64_t nowMs, uint64_t received);
  // Each turn of the transfer loop, with all bytes received so far and the connections working.
  void Tick(int64_t nowMs, uint64_t received, int active);
  // A server asked for a pause: the count is what still works (active, less the one refused),
  // and is probed again once untilMs has passed.
  void Busy(int64_t nowMs, uint64_t received, int active, int64_t untilMs);

 private:
  enum class Phase { Idle, Ramp, Watch, Probe };

  void Ramp(double rate);
  void Watch(double rate);
  void Probe(double rate);
  void BeginProbe(double baseline);
  void BeginWatch(double reference);
  void Restart(int64_t nowMs, uint64_t received);

  const int max_;
  int target_ = 1;
  Phase phase_ = Phase::Idle;
  bool warmingUp_ = false;
  int64_t stepStartMs_ = 0;
  uint64_t stepStartBytes_ = 0;
  // The ramp: the rate of the last step that paid, and the count it was measured with.
  double lastRate_ = 0;
  int measuredTarget_ = 1;
  // The watch: the best window since the count settled; the probe: the window before it.
  double reference_ = 0;
  double baseline_ = 0;
  int64_t busyUntilMs_ = 0;
  bool probeDue_ = false;
  int toldTarget_ = 1;  // the count last written to the log
  bool settledOnce_ = false;
};
