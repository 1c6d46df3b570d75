#include "app/download_progress.h"

#include <memory>

#include "fs/now_ms.h"

void AdvanceProgress(DownloadProgressState& state, double received, int64_t nowMs, uint64_t* done,
                     double* speed) {
  const int64_t elapsedMs = nowMs - state.lastTimeMs;
  if (elapsedMs > 0) {
    state.lastSpeed = (received - static_cast<double>(state.lastBytes)) / static_cast<double>(elapsedMs) * 1000;
    state.lastTimeMs = nowMs;
    state.lastBytes = received > 0 ? static_cast<uint64_t>(received) : 0;
  }
  // Within the same millisecond the rate is undefined: the previous one stays, and the bytes
  // count towards the next interval.
  *speed = state.lastSpeed;
  const double total = static_cast<double>(state.resumeOffset) + received;
  *done = total > 0 ? static_cast<uint64_t>(total) : 0;
}

TransferCallback MakeProgressAdapter(DownloadProgressState initial) {
  auto state = std::make_shared<DownloadProgressState>(std::move(initial));
  return [state](const std::string& event, const std::string& message, double first, double) {
    uint64_t done = 0;
    double speed = 0;
    AdvanceProgress(*state, first, NowMs(), &done, &speed);
    state->report(event, message, done, speed);
  };
}
