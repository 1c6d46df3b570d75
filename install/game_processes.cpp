#include "install/game_processes.h"

void ForEachProcessNamed(const std::string& exeName,
                         const std::function<LoopState(const platform::ProcessEntry&)>& callback) {
  for (const platform::ProcessEntry& entry : platform::SnapshotProcesses()) {
    if (entry.exeName != exeName) continue;
    if (callback(entry) == LoopState::Stop) return;
  }
}

size_t KillGameProcesses(const std::string& exeName) {
  size_t found = 0;
  ForEachProcessNamed(exeName, [&found](const platform::ProcessEntry& entry) {
    platform::TerminateProcessById(entry.pid);
    ++found;
    return LoopState::Continue;
  });
  return found;
}
