#pragma once
// Turns the download's raw byte reports into bytes done (kept part included) and bytes per
// second, and hands them on.

#include <cstdint>
#include <functional>
#include <string>

#include "net/http_util.h"

// One report of the download as the splash shows it: the transfer's event and message, the bytes
// of the package on disk, and the speed of this transfer.
using DownloadReport = std::function<void(const std::string& event, const std::string& message,
                                          uint64_t done, double speed)>;

struct DownloadProgressState {
  uint64_t lastBytes = 0;
  int64_t lastTimeMs = 0;
  int64_t resumeOffset = 0;
  double lastSpeed = 0;  // shown again when two reports share a millisecond
  DownloadReport report;
};

// The TransferCallback of one download; the state travels with it to the download worker.
TransferCallback MakeProgressAdapter(DownloadProgressState state);

// One report: bytes done and the speed since the previous report, for the given clock reading.
void AdvanceProgress(DownloadProgressState& state, double received, int64_t nowMs, uint64_t* done,
                     double* speed);
