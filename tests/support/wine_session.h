#pragma once
// The Windows build's programs run from the Linux suites under Wine, on the X display and in
// the Wine prefix that scripts/test-windows.sh prepared.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// scripts/test-windows.sh names the Windows launcher in TIDEWAKE_WINDOWS_LAUNCHER and sets up
// the Wine session (WINEPREFIX, LOCPATH, LANG, DISPLAY); the sample game and the box watcher
// are found in the same build tree.
struct WineSetup {
  std::string launcher;  // Linux paths
  std::string sampleGame;
  std::string boxWatcher;
  // Set for every Wine program of the run on top of the inherited environment: a case may
  // name another prefix (WINEPREFIX) or locale (LANG, LC_ALL) or add variables of its own.
  std::vector<std::pair<std::string, std::string>> environment;
};

// Empty when the environment names no Windows launcher.
std::optional<WineSetup> WineSetupFromEnvironment();

struct ChildStreams {
  int in = -1;  // -1: /dev/null
  int out = -1;
  int err = -1;
};

// Forks and runs `wine program arguments...` in the working directory with the setup's
// environment; the child's ends of the streams are its standard ones. Throws when fork fails.
pid_t SpawnUnderWine(const WineSetup& wine, const std::string& program,
                     const std::vector<std::string>& arguments,
                     const std::string& workingDirectory, ChildStreams streams);

// Runs a Wine program to its end (`wine reg add ...` to set the prefix's registry, say): its exit
// code, or -1 when it did not end in time (then it is killed).
int RunUnderWine(const WineSetup& wine, const std::string& program,
                 const std::vector<std::string>& arguments, std::chrono::milliseconds timeout);

// Runs a program with arguments (found in PATH), its standard output kept in *output when
// given; false when it failed or did not end in time (then it is killed).
bool RunTool(const std::vector<std::string>& command, std::chrono::milliseconds timeout,
             std::string* output = nullptr);

// Sends one key (an X keysym name: "Return", "Escape") to whatever window has the keyboard
// focus, as a player's key press; false when xdotool failed or did not end in time.
bool PressKey(const std::string& keysym, std::chrono::milliseconds timeout);

// The screen position of the top-left corner of the first visible X window titled exactly so.
std::optional<std::pair<int, int>> WindowPosition(const std::string& title);

struct ScreenRectangle {
  int x = 0, y = 0, width = 0, height = 0;
};
// The screen rectangle of the first visible X window titled exactly so.
std::optional<ScreenRectangle> WindowGeometry(const std::string& title);

// A left click at the screen position, as a player's mouse would make it; the pointer then
// returns where it was.
bool ClickAt(int x, int y);

}  // namespace testing_support
