#include "fs/run_log.h"

#include <chrono>
#include <cstdio>

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/replace_file.h"

namespace {

// Room kept below the cap for the line that says the log is full.
constexpr const char* kFullLine = "log full: later lines only on standard output";
constexpr uint64_t kFullLineRoom = 128;

std::string TimeStamp() {
  using namespace std::chrono;
  const sys_time<milliseconds> now{milliseconds{platform::UtcNowMs()}};
  const sys_days day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{now - day};
  char text[40];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld.%03ldZ ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
      static_cast<long>(time.seconds().count()), static_cast<long>(time.subseconds().count()));
  return text;
}

}  // namespace

bool RunLog::Open(const std::string& path, const std::string& previousPath) {
  const std::lock_guard<std::mutex> hold(mutex_);
  file_.reset();
  bytes_ = 0;
  full_ = false;
  const uint32_t attributes = platform::FileAttributes(path);
  if (attributes != platform::kInvalidFileAttributes &&
      (attributes & platform::kFileAttributeDirectory) != 0) {
    return false;
  }
  if (attributes != platform::kInvalidFileAttributes) {
    platform::ReplaceByRename(path, previousPath);
  }
  // Not handed on to the game, which may run on for hours holding a copy ("e": close on exec).
  // Windows starts the game without inherited handles.
#ifdef _WIN32
  file_.reset(platform::OpenFile(path, "wb"));
#else
  file_.reset(platform::OpenFile(path, "wbe"));
#endif
  return file_ != nullptr;
}

bool RunLog::IsOpen() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return file_ != nullptr;
}

void RunLog::Write(const std::string& text) {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (file_ == nullptr || full_) return;
  const size_t kept = text.size() < kMaxEntryBytes ? text.size() : kMaxEntryBytes;
  for (size_t start = 0; start < kept;) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos || end > kept) end = kept;
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    if (stop > start) WriteLine(text.substr(start, stop - start));
    start = end + 1;
  }
  if (kept < text.size()) {
    char note[80];
    std::snprintf(note, sizeof note, "(%llu more bytes only on standard output)",
                  static_cast<unsigned long long>(text.size() - kept));
    WriteLine(note);
  }
  if (file_ != nullptr && std::fflush(file_.get()) != 0) file_.reset();
}

void RunLog::WriteLine(const std::string& line) {
  if (file_ == nullptr || full_) return;
  const std::string stamped = TimeStamp() + line + "\r\n";
  std::string out = stamped;
  if (bytes_ + stamped.size() > kMaxBytes - kFullLineRoom) {
    out = TimeStamp() + kFullLine + "\r\n";
    full_ = true;
  }
  if (std::fwrite(out.data(), 1, out.size(), file_.get()) != out.size()) {
    // A full disk or a vanished folder: the run goes on with standard output alone.
    file_.reset();
    return;
  }
  bytes_ += out.size();
}

void StartRunLog() {
  // Never destroyed: workers may log up to the quick exit.
  static RunLog& log = *new RunLog;
  if (!log.Open(kRunLogName, kPreviousRunLogName)) return;
  platform::AttachDiagnosticSink([](const std::string& text) { log.Write(text); });
}
