#include "tests/support/wine_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace testing_support {

std::optional<WineSetup> WineSetupFromEnvironment() {
  const char* launcher = std::getenv("TIDEWAKE_WINDOWS_LAUNCHER");
  if (launcher == nullptr || *launcher == '\0') return std::nullopt;
  const std::filesystem::path tree = std::filesystem::path(launcher).parent_path();
  WineSetup setup;
  setup.launcher = launcher;
  setup.sampleGame = (tree / "demo" / "runa3D.exe").string();
  setup.boxWatcher = (tree / "tests" / "tidewake_message_box_watcher.exe").string();
  return setup;
}

pid_t SpawnUnderWine(const WineSetup& wine, const std::string& program,
                     const std::vector<std::string>& arguments,
                     const std::string& workingDirectory, ChildStreams streams) {
  std::vector<std::string> argvStrings{"wine", program};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(streams.in >= 0 ? streams.in : null, 0);
    ::dup2(streams.out >= 0 ? streams.out : null, 1);
    ::dup2(streams.err >= 0 ? streams.err : null, 2);
    // The parent's other descriptors (pipes of other children) must not keep them open.
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : wine.environment) ::setenv(name.c_str(), value.c_str(), 1);
    ::execvp("wine", argv.data());
    ::_exit(127);
  }
  return pid;
}

bool PressKey(const std::string& keysym, std::chrono::milliseconds timeout) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::execlp("xdotool", "xdotool", "key", keysym.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto end = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testing_support
