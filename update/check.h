#pragma once
// The update check: is the installed game current, or which package must be fetched and from
// which byte offset.

#include <string>

class Check {
 public:
  // Text of the newest fileInfo document that arrived with "succ", and the cache path for it
  // (set only for a remote document). Consumed by SaveLastFileInfo at launch.
  static std::string lastFileInfoText;
  static std::string lastFileInfoPath;

  // Writes the pending fileInfo text to its cache path once, then forgets both.
  static void SaveLastFileInfo();
};
