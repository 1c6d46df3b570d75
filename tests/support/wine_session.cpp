#include "tests/support/wine_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

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

int RunUnderWine(const WineSetup& wine, const std::string& program,
                 const std::vector<std::string>& arguments, std::chrono::milliseconds timeout) {
  const pid_t pid = SpawnUnderWine(wine, program, arguments, "/", {});
  const auto end = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    ::poll(nullptr, 0, 10);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunTool(const std::vector<std::string>& command, std::chrono::milliseconds timeout,
             std::string* output) {
  std::vector<std::string> strings = command;
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(pipeFds[1], 1);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  const auto end = std::chrono::steady_clock::now() + timeout;
  std::string text;
  bool ended = false;
  int status = 0;
  for (;;) {
    pollfd fd{pipeFds[0], POLLIN, 0};
    if (::poll(&fd, 1, 10) > 0) {
      char buffer[4096];
      const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
      if (got > 0) text.append(buffer, static_cast<size_t>(got));
    }
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      break;
    }
    if (std::chrono::steady_clock::now() > end) break;
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  for (;;) {  // what the tool wrote just before it ended
    char buffer[4096];
    pollfd fd{pipeFds[0], POLLIN, 0};
    if (::poll(&fd, 1, 0) <= 0) break;
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(pipeFds[0]);
  if (output != nullptr) *output = text;
  return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PressKey(const std::string& keysym, std::chrono::milliseconds timeout) {
  return RunTool({"xdotool", "key", keysym}, timeout);
}

std::optional<std::pair<int, int>> WindowPosition(const std::string& title) {
  const std::optional<ScreenRectangle> geometry = WindowGeometry(title);
  if (!geometry) return std::nullopt;
  return std::make_pair(geometry->x, geometry->y);
}

std::optional<ScreenRectangle> WindowGeometry(const std::string& title) {
  std::string found;
  if (!RunTool({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"},
               std::chrono::seconds(5), &found)) {
    return std::nullopt;
  }
  const std::string window = found.substr(0, found.find('\n'));
  std::string geometry;
  if (window.empty() ||
      !RunTool({"xdotool", "getwindowgeometry", "--shell", window}, std::chrono::seconds(5),
               &geometry)) {
    return std::nullopt;
  }
  // Lines NAME=value; X= is also the end of "WINDOW=", so each name is looked for at a line start.
  const auto value = [&geometry](const std::string& name) -> std::optional<int> {
    const size_t at = ("\n" + geometry).find("\n" + name + "=");
    if (at == std::string::npos) return std::nullopt;
    return std::atoi(geometry.c_str() + at + name.size() + 1);
  };
  const auto x = value("X"), y = value("Y"), width = value("WIDTH"), height = value("HEIGHT");
  if (!x || !y || !width || !height) return std::nullopt;
  return ScreenRectangle{*x, *y, *width, *height};
}

bool ClickAt(int x, int y) {
  // The pointer goes back where it was: with no window manager on the display, the keys the
  // box answerer presses go to the window under the pointer, and message boxes open in the
  // middle of the screen, where the pointer starts.
  return RunTool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1",
                  "mousemove", "restore"},
                 std::chrono::seconds(5));
}

}  // namespace testing_support
