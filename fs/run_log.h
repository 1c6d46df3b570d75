#pragma once
// The run's log: the diagnostics of one run in a file in the working directory, which a player
// can send to support (a Windows program without a console shows its standard output to nobody).
// The previous run's file is kept beside it. A log that cannot be written costs the run nothing:
// the diagnostics still reach standard output, and every step of the launcher goes on as before.

#include <cstdint>
#include <mutex>
#include <string>

#include "fs/stdio_file.h"

inline constexpr const char* kRunLogName = "tidewake.log";
inline constexpr const char* kPreviousRunLogName = "tidewake.1.log";

class RunLog {
 public:
  // A file stops growing here; its last line then says that later lines are left out.
  static constexpr uint64_t kMaxBytes = 1u << 20;
  // One diagnostic's share of the file: a response body of megabytes would fill the whole log at
  // once. Standard output keeps the whole text.
  static constexpr size_t kMaxEntryBytes = 4096;

  // Keeps a log found at path as previousPath (replacing an older one there) and starts path
  // empty. False when path cannot be written; the log then stays closed and Write does nothing.
  // A folder at path is left alone, and so is a previous log that cannot be moved: path is then
  // started over it.
  bool Open(const std::string& path, const std::string& previousPath);
  bool IsOpen() const;

  // Writes every non-empty line of one diagnostic's text with the UTC time in front
  // ("2026-01-31 23:59:59.123Z ") and a CR LF after, and puts it in the system's hands before
  // returning, so lines survive the quick exit and a crash. Whole lines from any thread.
  void Write(const std::string& text);

 private:
  void WriteLine(const std::string& line);

  mutable std::mutex mutex_;
  FilePtr file_;
  uint64_t bytes_ = 0;
  bool full_ = false;
};

// The launcher's own log, kRunLogName in the working directory with the previous run's as
// kPreviousRunLogName, attached to the diagnostics for the rest of the process. Only the copy
// that holds the single-instance claim may start it: any other would move the running copy's
// log away.
void StartRunLog();
