#include "net/connection_pacer.h"

#include <algorithm>

#include "platform/diagnostics.h"

namespace {

// A connection stays only when it raised the total rate by this much.
constexpr double kWorthwhileGrowth = 1.10;
// Short, since every step of the ramp leaves the line partly idle: the doubling reaches eight
// connections in three steps.
constexpr int64_t kRampStepMs = 100;
// A probe is judged over a longer step than the ramp's: its baseline is a whole window, and one
// connection among several moves the total less than the second one did.
constexpr int64_t kProbeStepMs = 1000;
constexpr int64_t kWatchWindowMs = 3000;
// A window this far below the best one is a line that changed, not noise.
constexpr double kFallenShare = 0.75;

}  // namespace

void ConnectionPacer::Start(int64_t nowMs, uint64_t received) {
  if (phase_ != Phase::Idle) return;
  phase_ = Phase::Ramp;
  Restart(nowMs, received);
}

void ConnectionPacer::Answered(int64_t nowMs, uint64_t received) {
  if (!warmingUp_) return;
  warmingUp_ = false;
  Restart(nowMs, received);
}

void ConnectionPacer::Restart(int64_t nowMs, uint64_t received) {
  stepStartMs_ = nowMs;
  stepStartBytes_ = received;
}

void ConnectionPacer::Busy(int64_t nowMs, uint64_t received, int active, int64_t untilMs) {
  target_ = std::max(1, active - 1);
  toldTarget_ = target_;  // the caller tells why
  settledOnce_ = true;
  warmingUp_ = false;
  busyUntilMs_ = std::max(busyUntilMs_, untilMs);
  probeDue_ = false;
  BeginWatch(0);
  Restart(nowMs, received);
}

void ConnectionPacer::Tick(int64_t nowMs, uint64_t received, int active) {
  if (phase_ == Phase::Idle || warmingUp_) return;
  if (busyUntilMs_ != 0 && nowMs >= busyUntilMs_) {
    busyUntilMs_ = 0;
    probeDue_ = true;
  }
  const int64_t step = phase_ == Phase::Ramp    ? kRampStepMs
                       : phase_ == Phase::Probe ? kProbeStepMs
                                                : kWatchWindowMs;
  if (nowMs - stepStartMs_ < step) return;
  const double rate = static_cast<double>(received - stepStartBytes_) /
                      static_cast<double>(nowMs - stepStartMs_);
  Restart(nowMs, received);
  if (active < target_) return;  // the end of the file, or a source waiting: not a measure
  switch (phase_) {
    case Phase::Ramp: Ramp(rate); break;
    case Phase::Watch: Watch(rate); break;
    case Phase::Probe: Probe(rate); break;
    case Phase::Idle: break;
  }
}

void ConnectionPacer::Ramp(double rate) {
  const int added = target_ - measuredTarget_;
  const double growth = lastRate_ > 0 ? rate / lastRate_ - 1 : 0;
  if (added == 0 || growth >= (kWorthwhileGrowth - 1) * added) {
    lastRate_ = rate;
    measuredTarget_ = target_;
    if (target_ < max_) {
      target_ = std::min(max_, target_ * 2);
      warmingUp_ = true;
      return;
    }
    BeginWatch(rate);
  } else {
    target_ = measuredTarget_ + std::clamp(static_cast<int>(growth / (kWorthwhileGrowth - 1)), 0,
                                           added - 1);
    BeginWatch(lastRate_);
  }
}

void ConnectionPacer::Watch(double rate) {
  if (probeDue_ || rate < kFallenShare * reference_) {
    probeDue_ = false;
    BeginProbe(rate);
    return;
  }
  reference_ = std::max(reference_, rate);
}

void ConnectionPacer::Probe(double rate) {
  if (rate >= kWorthwhileGrowth * baseline_) {
    BeginProbe(rate);
    return;
  }
  --target_;
  BeginWatch(baseline_);
}

void ConnectionPacer::BeginProbe(double baseline) {
  if (target_ >= max_) {
    BeginWatch(baseline);
    return;
  }
  ++target_;
  warmingUp_ = true;
  baseline_ = baseline;
  phase_ = Phase::Probe;
}

void ConnectionPacer::BeginWatch(double reference) {
  phase_ = Phase::Watch;
  reference_ = reference;
  if (target_ != toldTarget_ || !settledOnce_) {
    platform::Diagnostic("download: %d connections\n", target_);
  }
  toldTarget_ = target_;
  settledOnce_ = true;
}
