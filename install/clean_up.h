#pragma once

#include <cstdint>
#include <string>

class LauncherApp;

// Stops the running game, shows the transfer as finished, enters "cleanRes", and 900 ms later
// verifies and extracts the package on a delayed worker.
void StartCleanUpPhase(LauncherApp* app, const std::string& zipPath, const std::string& zipMd5,
                       int64_t sizeBytes);

// Deletes the package folder with everything in it.
void RemovePackageFolder();
