#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/unique_fd.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr size_t kCommLength = 15;  // the kernel keeps at most 15 bytes of a process name

// /proc files are small and read whole; plain reads keep a walk over every process cheap.
std::string ReadSmallFile(const std::string& path) {
  std::string text;
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// One read of /proc/<pid>/stat gives both the name, between the first "(" and the last ")",
// and the state right after it. False for a process that is gone or has ended: an ended one
// not yet reaped by its parent (a zombie) runs no more, so it is no running copy of anything.
bool ReadLiveProcessName(const std::string& pidDir, std::string& comm) {
  const std::string stat = ReadSmallFile(pidDir + "/stat");
  const size_t open = stat.find('(');
  const size_t close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open ||
      close + 2 >= stat.size()) {
    return false;
  }
  const char state = stat[close + 2];
  if (state == 'Z' || state == 'X' || state == 'x') return false;
  comm = stat.substr(open + 1, close - open - 1);
  return true;
}

std::string ExecutableName(const std::string& pidDir, const std::string& comm) {
  if (comm.size() < kCommLength) return comm;
  // Possibly cut short: the base name of argv[0] carries the whole name.
  const std::string cmdline = ReadSmallFile(pidDir + "/cmdline");
  const std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
  const size_t slash = argv0.rfind('/');
  const std::string base = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
  return base.empty() ? comm : base;
}

// The spawn's settings, destroyed with their scope once initialised.
struct SpawnFileActions {
  SpawnFileActions() : valid(::posix_spawn_file_actions_init(&value) == 0) {}
  ~SpawnFileActions() {
    if (valid) ::posix_spawn_file_actions_destroy(&value);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  posix_spawn_file_actions_t value;
  bool valid;
};

struct SpawnAttributes {
  SpawnAttributes() : valid(::posix_spawnattr_init(&value) == 0) {}
  ~SpawnAttributes() {
    if (valid) ::posix_spawnattr_destroy(&value);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t value;
  bool valid;
};

}  // namespace

std::vector<ProcessEntry> SnapshotProcesses() {
  std::vector<ProcessEntry> entries;
  const UniqueDir proc(::opendir("/proc"));
  if (proc == nullptr) return entries;
  while (const dirent* entry = ::readdir(proc.get())) {
    char* end = nullptr;
    const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid == 0) continue;
    const std::string pidDir = std::string("/proc/") + entry->d_name;
    std::string comm;
    if (!ReadLiveProcessName(pidDir, comm)) continue;
    ProcessEntry item;
    item.pid = static_cast<uint32_t>(pid);
    item.exeName = ExecutableName(pidDir, comm);
    if (!item.exeName.empty()) entries.push_back(std::move(item));
  }
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

  // A spawn shares the launcher's memory until the exec instead of copying its page tables,
  // which a fork of a process this size would spend milliseconds on; exec failures come back as
  // the result. The game runs in its own session (it outlives the launcher and its terminal),
  // with no signal blocked and SIGPIPE back to its default: the launcher ignores it, and an
  // ignored signal would otherwise carry over into the game.
  SpawnFileActions actions;
  SpawnAttributes attributes;
  if (!actions.valid || !attributes.valid) return false;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  int error = ::posix_spawn_file_actions_addchdir_np(&actions.value, directory.c_str());
  if (error == 0) {
    error = ::posix_spawnattr_setflags(
        &attributes.value, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes.value, &none);
  if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes.value, &defaults);
  pid_t child = 0;
  if (error == 0) {
    error = ::posix_spawn(&child, program.c_str(), &actions.value, &attributes.value, argv.data(),
                          environ);
  }
  return error == 0;
}

// Only main's own arguments count here, and main hands them over before anything asks.
std::vector<std::string> ArgumentsFromSystem() { return {}; }

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
