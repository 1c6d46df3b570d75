#pragma once
// Progress of a long step on one terminal line that rewrites itself; nothing when the output is
// not a terminal (a log or a pipe would fill with carriage returns).

#include <chrono>
#include <cstdint>
#include <string>

class ProgressLine {
 public:
  ProgressLine(std::string label, uint64_t totalBytes);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(uint64_t doneBytes);
  // Ends the line (once); the destructor does it too.
  void Finish();

 private:
  void Draw(uint64_t doneBytes);

  std::string label_;
  uint64_t total_;
  bool shown_;
  bool finished_ = false;
  uint64_t last_ = 0;
  std::chrono::steady_clock::time_point lastDrawn_{};
};

// "1.5 GiB", "320.0 MiB", "12 bytes".
std::string ReadableBytes(uint64_t bytes);
