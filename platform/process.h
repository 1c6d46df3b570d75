#pragma once
// Processes: the snapshot walk, termination, starting the game, and the launcher's own arguments.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  uint32_t pid = 0;
  std::string exeName;  // the bare executable file name, in the narrow encoding
};

// Every process of the system, in snapshot order (CreateToolhelp32Snapshot, /proc).
std::vector<ProcessEntry> SnapshotProcesses();

// Opens the process for termination and ends it at once with exit code 0. False when it cannot
// be opened; the caller does not wait for the end.
bool TerminateProcessById(uint32_t pid);

// CreateProcessA without an application name: the command line's first token names the
// executable, relative to this process's working directory; the new process runs in directory.
// True when the process was created.
bool StartProcess(const std::string& commandLine, const std::string& directory);

// The arguments this process was started with, after its own path, in the narrow encoding.
std::vector<std::string> ProgramArguments();
// The entry point hands its arguments over where the platform does not keep them.
void SetProgramArguments(int argc, char** argv);

// A peer that closes a connection mid-write must fail that write, not end the launcher (SIGPIPE).
void IgnoreBrokenPipes();

}  // namespace platform
