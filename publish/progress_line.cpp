#include "publish/progress_line.h"

#include <cstdio>
#include <utility>

#include "platform/terminal.h"

namespace {

// A terminal redrawn more often than this only costs time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

std::string ReadableBytes(uint64_t bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

ProgressLine::ProgressLine(std::string label, uint64_t totalBytes)
    : label_(std::move(label)), total_(totalBytes), shown_(platform::StandardOutputIsTerminal()) {
  if (shown_) Draw(0);
}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Update(uint64_t doneBytes) {
  last_ = doneBytes;
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDrawn_ < kRedrawInterval) return;
  Draw(doneBytes);
}

void ProgressLine::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!shown_) return;
  Draw(last_);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

void ProgressLine::Draw(uint64_t doneBytes) {
  lastDrawn_ = std::chrono::steady_clock::now();
  const unsigned percent =
      total_ == 0 ? 100u : static_cast<unsigned>(doneBytes * 100 / (total_ > 0 ? total_ : 1));
  // "\33[K" clears what a longer earlier text left at the end of the line.
  std::printf("\r%s %3u%% (%s of %s)\33[K", label_.c_str(), percent > 100 ? 100u : percent,
              ReadableBytes(doneBytes).c_str(), ReadableBytes(total_).c_str());
  std::fflush(stdout);
}
