#pragma once
// Stopping running copies of the game and starting it from the install directory.

#include <functional>
#include <string>

#include "platform/process.h"

class LauncherApp;

struct LaunchRequest {
  LauncherApp* app = nullptr;
  std::string path;  // the game executable, for the existence test and deletion
};

enum class LoopState { Stop = 0, Continue = 1 };

void StartGameProcess(const LaunchRequest& request);
void KillGameProcesses();
// Visits every process whose executable name is exactly exeName (case-sensitive).
void ForEachProcessNamed(const std::string& exeName,
                         const std::function<LoopState(const platform::ProcessEntry&)>& callback);
// This process's arguments after its own path, joined by single spaces, not quoted again.
std::string JoinCommandLineArgs();
bool CreateGameProcess(const std::string& arguments);
