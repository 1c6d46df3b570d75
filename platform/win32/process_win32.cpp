// Processes through the Toolhelp snapshot and CreateProcessA. Names and command lines are narrow
// strings in the ANSI code page, as the "A" calls take them.

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <mutex>

#include "platform/process.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::mutex argumentsMutex;
bool argumentsSet = false;
std::vector<std::string> programArguments;

// The wide argument vector as the runtime parses it, each argument in the ANSI code page.
std::vector<std::string> ArgumentsFromCommandLine() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToAnsi(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace

std::vector<ProcessEntry> SnapshotProcesses() {
  std::vector<ProcessEntry> entries;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return entries;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot, &entry); more;
       more = ::Process32Next(snapshot, &entry)) {
    entries.push_back(ProcessEntry{static_cast<uint32_t>(entry.th32ProcessID), entry.szExeFile});
  }
  ::CloseHandle(snapshot);
  return entries;
}

bool TerminateProcessById(uint32_t pid) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return false;
  ::TerminateProcess(process, 0);
  ::CloseHandle(process);
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
  ::CloseHandle(created.hThread);
  ::CloseHandle(created.hProcess);
  return true;
}

std::vector<std::string> ProgramArguments() {
  {
    std::lock_guard lock(argumentsMutex);
    if (argumentsSet) return programArguments;
  }
  return ArgumentsFromCommandLine();
}

void SetProgramArguments(int argc, char** argv) {
  std::lock_guard lock(argumentsMutex);
  programArguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  argumentsSet = true;
}

// Windows has no SIGPIPE: a write to a closed socket fails with an error code.
void IgnoreBrokenPipes() {}

}  // namespace platform
