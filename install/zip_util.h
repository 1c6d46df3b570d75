#pragma once
// Package extraction with minizip: entry by entry into the destination, reporting through an
// UnzipCallback on the calling thread ("unzip" per entry, then "succ" or "fail").

#include <functional>
#include <string>
#include <vector>

using UnzipCallback = std::function<void(const std::string& event, const std::string& message,
                                         long long first, long long second)>;

struct UnzipTask {
  std::string zipPath;
  std::string destDir;
  UnzipCallback callback;  // may be empty: then no event is sent
};

class ZipUtil {
 public:
  static bool Unzip(const std::string& zipPath, const std::string& destDir,
                    const UnzipCallback& callback);
  // Writes the archive's current entry (archive is minizip's unzFile) to outPath.
  static bool ExtractCurrentEntry(void* archive, const std::string& name,
                                  const std::string& outPath, std::string& error);
  // Copies the task into a new detached worker; throws std::system_error if none can start.
  static void StartUnzip(UnzipTask task);
};

// Entry-name helpers; both '/' and '\' are separators.
std::string DirPartOf(const std::string& name);
std::string FilePartOf(const std::string& name);
std::vector<std::string> SplitDirComponents(const std::string& dirPart);
