#include "fs/locked_file_retry.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/held_files.h"
#include "platform/text_encoding.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kFirstPause{50};
constexpr milliseconds kLongestPause{1000};
// Long enough for a scanner to finish with a large file and for a killed game's handles to close;
// short enough that a file held for good meets the failure box while the player still waits.
constexpr milliseconds kLauncherWindow{10000};

std::atomic<int64_t> windowMs{kLauncherWindow.count()};

}  // namespace

milliseconds HeldFileWindow() { return milliseconds(windowMs.load()); }
void SetHeldFileWindow(milliseconds window) { windowMs.store(window.count()); }

bool RetryWhileHeld(const char* what, const std::string& path,
                    const std::function<bool()>& attempt) {
  if (attempt()) return true;
  if (!platform::utf8::FailedOnHeldFile(path)) return false;
  const auto start = std::chrono::steady_clock::now();
  const milliseconds window = HeldFileWindow();
  milliseconds pause = kFirstPause;
  for (int retry = 1;; ++retry) {
    const auto waited =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    if (waited >= window) {
      platform::Diagnostic("%s: still held by another program after %lld ms, giving up: %s\n", what,
                           static_cast<long long>(waited.count()),
                           platform::Utf8ToNarrow(path).c_str());
      return false;
    }
    // The last pause ends with the window, so the last attempt comes at its end.
    const milliseconds now = std::min(pause, window - waited);
    platform::Diagnostic("%s: held by another program, retry %d in %lld ms: %s\n", what, retry,
                         static_cast<long long>(now.count()), platform::Utf8ToNarrow(path).c_str());
    platform::SleepMs(static_cast<uint32_t>(now.count()));
    if (attempt()) return true;
    if (!platform::utf8::FailedOnHeldFile(path)) return false;
    pause = std::min(pause * 2, kLongestPause);
  }
}
