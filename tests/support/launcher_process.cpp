#include "tests/support/launcher_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

namespace testing_support {

namespace {
int sequence = 0;
}

LauncherProcess::LauncherProcess(const std::string& workingDirectory,
                                 const std::vector<std::string>& arguments,
                                 const std::string& dialogAnswers)
    : LauncherProcess(workingDirectory, arguments, LaunchOptions{dialogAnswers, std::nullopt, "", "", {}}) {}

LauncherProcess::LauncherProcess(const std::string& workingDirectory,
                                 const std::vector<std::string>& arguments,
                                 const LaunchOptions& options) {
  const std::string stem = workingDirectory + "/.launcher-" + std::to_string(++sequence);
  outPath_ = stem + ".out";
  errPath_ = stem + ".err";
  start_ = std::chrono::steady_clock::now();
  if (options.wine) {
    const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string& program =
        options.executable.empty() ? options.wine->launcher : options.executable;
    pid_ = SpawnUnderWine(*options.wine, program, arguments, workingDirectory,
                          {-1, out, err});
    ::close(out);
    ::close(err);
    // A box that cannot be answered would hold the launcher until the deadline: end it at once.
    answerer_ = std::make_unique<WineBoxAnswerer>(*options.wine, workingDirectory,
                                                  options.dialogAnswers,
                                                  [pid = pid_] { ::kill(pid, SIGKILL); });
    return;
  }

  std::vector<std::string> argvStrings{options.executable.empty() ? std::string(TIDEWAKE_LAUNCHER)
                                                                   : options.executable};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    if (!options.display.empty()) ::setenv("DISPLAY", options.display.c_str(), 1);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    ::setenv("TIDEWAKE_DIALOG_ANSWERS", options.dialogAnswers.c_str(), 1);
    // The single-instance lock lives in the runtime folder: launchers started in one working
    // directory meet each other, and none from another suite running on the machine.
    ::setenv("XDG_RUNTIME_DIR", workingDirectory.c_str(), 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

LauncherProcess::~LauncherProcess() {
  if (!reaped_) {
    Kill();
  }
  StopAnswering();
}

void LauncherProcess::StopAnswering() {
  if (answerer_) answerer_->Stop();
}

bool LauncherProcess::Running() {
  if (reaped_) return false;
  const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
  if (done == pid_) reaped_ = true;
  return !reaped_;
}

LauncherOutcome LauncherProcess::Wait(std::chrono::milliseconds deadline) {
  LauncherOutcome outcome;
  outcome.exited = Eventually([this] { return !Running(); }, deadline);
  if (!outcome.exited) Kill();
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (outcome.exited && WIFEXITED(status_)) outcome.exitCode = WEXITSTATUS(status_);
  StopAnswering();
  outcome.out = ReadFile(outPath_);
  outcome.err = Err();
  return outcome;
}

void LauncherProcess::Kill() {
  if (reaped_) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status_, 0);
  reaped_ = true;
}

std::string LauncherProcess::Out() const { return ReadFile(outPath_); }

std::string LauncherProcess::Err() const {
  return ReadFile(errPath_) + (answerer_ ? answerer_->Lines() : "");
}

std::vector<LauncherProcess::OpenFile> LauncherProcess::OpenFiles() const {
  std::vector<OpenFile> files;
  const std::string proc = "/proc/" + std::to_string(pid_);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd", error)) {
    std::error_code gone;
    const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), gone);
    if (gone || target.empty() || target.string()[0] != '/') continue;  // sockets, pipes
    const std::string info = ReadFile(proc + "/fdinfo/" + entry.path().filename().string());
    const size_t at = info.find("flags:");
    if (at == std::string::npos) continue;
    const long flags = std::strtol(info.c_str() + at + 6, nullptr, 8);
    files.push_back({target.string(), (flags & O_ACCMODE) != O_RDONLY});
  }
  return files;
}

}  // namespace testing_support
