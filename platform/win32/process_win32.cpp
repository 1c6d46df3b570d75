// Processes through the Toolhelp snapshot and CreateProcessA. Names and command lines are narrow
// strings in the ANSI code page, as the "A" calls take them.

#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "platform/process.h"
#include "platform/win32/command_line.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace platform {

std::vector<std::string> CommandLineArguments() {
  // The runtime's own vector, not CommandLineToArgvW's: the two split some lines differently
  // ("" inside quotes, backslashes before a quote), and the game is a program of that runtime.
  // A wide entry point has the wide one; a narrow one (a test suite) only the narrow one.
  std::vector<std::string> arguments;
  if (__wargv != nullptr) {
    for (int i = 0; i < __argc; ++i) arguments.push_back(WideToAnsi(__wargv[i]));
  } else if (__argv != nullptr) {
    arguments.assign(__argv, __argv + __argc);
  }
  return arguments;
}

std::vector<ProcessEntry> SnapshotProcesses() {
  std::vector<ProcessEntry> entries;
  const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return entries;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry)) {
    entries.push_back(ProcessEntry{static_cast<uint32_t>(entry.th32ProcessID), entry.szExeFile});
  }
  return entries;
}

bool TerminateProcessById(uint32_t pid) {
  const UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  if (!process) return false;
  ::TerminateProcess(process.get(), 0);
  return true;
}

bool StartProcess(const std::string& commandLine, const std::string& directory) {
  std::string mutableLine = commandLine;  // CreateProcessA may write into its command line
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &created)) {
    return false;
  }
  // Nobody waits for the game: both its handles are closed on the way out, and it runs on.
  const UniqueKernelHandle process(created.hProcess);
  const UniqueKernelHandle thread(created.hThread);
  return true;
}

// A program whose entry point is not ours (a test suite) still has the command line to ask.
std::vector<std::string> ArgumentsFromSystem() {
  std::vector<std::string> arguments = CommandLineArguments();
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

// Windows has no SIGPIPE: a write to a closed socket fails with an error code.
void IgnoreBrokenPipes() {}

}  // namespace platform
