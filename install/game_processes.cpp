#include "install/game_processes.h"

void ForEachProcessNamed(const std::string& exeName,
                         const std::function<LoopState(const platform::ProcessEntry&)>& callback) {
  for (const platform::ProcessEntry& entry : platform::SnapshotProcesses()) {
    if (entry.exeName != exeName) continue;
    if (callback(entry) == LoopState::Stop) return;
  }
}

void KillGameProcesses(const std::string& exeName) {
  ForEachProcessNamed(exeName, [](const platform::ProcessEntry& entry) {
    platform::TerminateProcessById(entry.pid);
    return LoopState::Continue;
  });
}
