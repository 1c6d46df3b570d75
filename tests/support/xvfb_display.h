#pragma once
// A private X server for tests of the GTK backend: Xvfb on a display number it picks itself,
// exported as DISPLAY while it runs (the display named before comes back afterwards).

#include <string>

namespace testing_support {

class XvfbDisplay {
 public:
  // Starts Xvfb with one screen of the size; check started() afterwards.
  XvfbDisplay(int width, int height);
  ~XvfbDisplay();
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  static bool Installed();
  bool started() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  std::string display_;
  std::string previous_;  // DISPLAY before this one; empty when none was set
  bool hadPrevious_ = false;
  long pid_ = 0;
};

// Runs a shell command with DISPLAY set; its exit status, and its standard output in output.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace testing_support
