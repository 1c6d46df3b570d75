#include <gtest/gtest.h>

#include "app/download_progress.h"

namespace {

DownloadProgressState Started(int64_t startMs, int64_t resumeOffset) {
  DownloadProgressState state;
  state.lastTimeMs = startMs;
  state.resumeOffset = resumeOffset;
  return state;
}

}  // namespace

TEST(DownloadProgress, DoneIncludesTheKeptBytesAndSpeedCoversOnlyThisTransfer) {
  DownloadProgressState state = Started(1000, 400000);
  uint64_t done = 0;
  double speed = 0;
  AdvanceProgress(state, 50000, 1500, &done, &speed);
  EXPECT_EQ(done, 450000u);  // a resumed download starts the bar where the kept part ends
  EXPECT_DOUBLE_EQ(speed, 100000.0);
  AdvanceProgress(state, 150000, 2500, &done, &speed);
  EXPECT_EQ(done, 550000u);
  EXPECT_DOUBLE_EQ(speed, 100000.0);
}

TEST(DownloadProgress, ReportsInTheSameMillisecondKeepThePreviousSpeed) {
  DownloadProgressState state = Started(0, 0);
  uint64_t done = 0;
  double speed = 0;
  AdvanceProgress(state, 2000, 1000, &done, &speed);
  EXPECT_DOUBLE_EQ(speed, 2000.0);
  AdvanceProgress(state, 9000, 1000, &done, &speed);
  EXPECT_DOUBLE_EQ(speed, 2000.0);
  EXPECT_EQ(done, 9000u);
  // The bytes of the shared millisecond count towards the next interval.
  AdvanceProgress(state, 10000, 2000, &done, &speed);
  EXPECT_DOUBLE_EQ(speed, 8000.0);
}
