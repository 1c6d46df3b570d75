#pragma once
// Stopping running copies of the game and starting it from the install directory.

#include <functional>
#include <string>

class LauncherApp;

struct LaunchRequest {
  LauncherApp* app = nullptr;
  std::string path;  // the game executable, for the existence test and deletion
  // Done once the game has been started (or failed to), before this process exits.
  std::function<void()> whileGameStarts;
};

void StartGameProcess(const LaunchRequest& request);
// This process's arguments after its own path, joined by single spaces, not quoted again.
std::string JoinCommandLineArgs();
bool CreateGameProcess(const std::string& arguments);
