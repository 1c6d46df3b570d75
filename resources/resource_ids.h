#pragma once
// Ids of the artwork compiled into the launcher.
enum ResourceId : int {
  kIconResource = 108,
  kCloseButtonPng = 1001,
  kLogoPng = 1002,
  kBannerPng = 1004,
  kBackgroundPng = 1005,
  kProgressFillPng = 1006,
  kProgressTrackPng = 1007,
};
