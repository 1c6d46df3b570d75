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

// Sends one key (an X keysym name: "Return", "Escape") to whatever window has the keyboard
// focus, as a player's key press; false when xdotool failed or did not end in time.
bool PressKey(const std::string& keysym, std::chrono::milliseconds timeout);

}  // namespace testing_support
