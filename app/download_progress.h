#pragma once
// Turns the download's raw byte reports into bytes done (kept part included) and bytes per
// second, and hands them to the application.

#include <cstdint>
#include <string>

#include "net/http_util.h"

class LauncherApp;

struct DownloadProgressState {
  uint64_t lastBytes = 0;
  int64_t lastTimeMs = 0;
  LauncherApp* app = nullptr;
  std::string zipPath;
  int64_t resumeOffset = 0;
  int64_t totalBytes = 0;
  std::string zipMd5;
  double lastSpeed = 0;  // shown again when two reports share a millisecond
};

// The TransferCallback of one download; the state travels with it to the download worker.
TransferCallback MakeProgressAdapter(DownloadProgressState state);

// One report: bytes done and the speed since the previous report, for the given clock reading.
void AdvanceProgress(DownloadProgressState& state, double received, int64_t nowMs, uint64_t* done,
                     double* speed);
