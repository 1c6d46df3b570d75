#pragma once
// Running copies of the game: found by executable name in the system's process list, and
// stopped before the package is verified and before the game starts again.

#include <functional>
#include <string>

#include "platform/process.h"

enum class LoopState { Stop = 0, Continue = 1 };

// Visits every process whose executable name is exactly exeName (case-sensitive).
void ForEachProcessNamed(const std::string& exeName,
                         const std::function<LoopState(const platform::ProcessEntry&)>& callback);

// Terminates every process named exeName without waiting for it to end; processes that cannot
// be opened are skipped. Returns how many such processes were found.
size_t KillGameProcesses(const std::string& exeName);
