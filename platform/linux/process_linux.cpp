#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/process.h"

namespace platform {
namespace {

constexpr size_t kCommLength = 15;  // the kernel keeps at most 15 bytes of a process name

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ExecutableName(const std::string& pidDir) {
  std::string comm = ReadSmallFile(pidDir + "/comm");
  if (!comm.empty() && comm.back() == '\n') comm.pop_back();
  if (comm.size() < kCommLength) return comm;
  // Possibly cut short: the base name of argv[0] carries the whole name.
  const std::string cmdline = ReadSmallFile(pidDir + "/cmdline");
  const std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
  const size_t slash = argv0.rfind('/');
  const std::string base = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
  return base.empty() ? comm : base;
}

// A process that has ended but was not yet reaped by its parent (a zombie) still has a /proc
// entry with its name; it runs no more, so it is no running copy of anything.
bool HasEnded(const std::string& pidDir) {
  const std::string stat = ReadSmallFile(pidDir + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return true;
  const char state = stat[close + 2];
  return state == 'Z' || state == 'X' || state == 'x';
}

std::mutex argumentsMutex;
std::vector<std::string> programArguments;

}  // namespace

std::vector<ProcessEntry> SnapshotProcesses() {
  std::vector<ProcessEntry> entries;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return entries;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid == 0) continue;
    const std::string pidDir = std::string("/proc/") + entry->d_name;
    if (HasEnded(pidDir)) continue;
    ProcessEntry item;
    item.pid = static_cast<uint32_t>(pid);
    item.exeName = ExecutableName(pidDir);
    if (!item.exeName.empty()) entries.push_back(std::move(item));
  }
  ::closedir(proc);
  return entries;
}

bool TerminateProcessById(uint32_t pid) { return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0; }

bool StartProcess(const std::string& commandLine, const std::string& directory) {
  // Split the way the game's own argument parser would see an unquoted line: on blanks.
  std::vector<std::string> words;
  size_t start = commandLine.find_first_not_of(' ');
  while (start != std::string::npos) {
    const size_t end = commandLine.find(' ', start);
    words.push_back(commandLine.substr(start, end == std::string::npos ? end : end - start));
    start = end == std::string::npos ? end : commandLine.find_first_not_of(' ', end);
  }
  if (words.empty()) return false;

  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return false;
  const std::string program =
      words[0].front() == '/' ? words[0] : std::string(cwd) + "/" + words[0];
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // The child reports a failed exec through this pipe; a successful exec closes it empty.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::setsid();  // the game outlives the launcher and its terminal
    int error = 0;
    if (::chdir(directory.c_str()) != 0) {
      error = errno;
    } else {
      ::execv(program.c_str(), argv.data());
      error = errno;
    }
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int error = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n > 0) {
    ::waitpid(child, nullptr, 0);
    return false;
  }
  return true;
}

std::vector<std::string> ProgramArguments() {
  std::lock_guard lock(argumentsMutex);
  return programArguments;
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

void SetProgramArguments(int argc, char** argv) {
  std::lock_guard lock(argumentsMutex);
  programArguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace platform
