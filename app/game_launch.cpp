#include "app/game_launch.h"

#include <cstdint>
#include <exception>
#include <utility>

#include "app/launcher_app.h"
#include "core/layout.h"
#include "fs/now_ms.h"
#include "fs/path_join.h"
#include "install/game_processes.h"
#include "net/worker.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process_exit.h"

void LauncherApp::LaunchGame(bool afterUpdate, std::function<void()> whileGameStarts) {
  ShowLaunching();
  SetPhase("launch");
  Check::SaveLastFileInfo();
  const std::string path = installDirName + "/" + gameExeName;
  if (!platform::PathExists(path)) {
    BringToFront();
    platform::ShowMessageBox(path + "文件不存在", "", platform::kMbSystemModal);
  }
  bool running = false;
  ForEachProcessNamed(gameExeName, [&running](const platform::ProcessEntry&) {
    running = true;
    return LoopState::Stop;
  });
  const LaunchRequest request{this, path, std::move(whileGameStarts)};
  if (!running || afterUpdate) {
    StartGameProcess(request);
  } else {
    RunDelayed(2000, [request] { StartGameProcess(request); });
  }
}

void StartGameProcess(const LaunchRequest& request) {
  bool followedUp = false;
  const auto followUp = [&] {
    if (std::exchange(followedUp, true) || !request.whileGameStarts) return;
    request.whileGameStarts();
  };
  try {
    KillGameProcesses(gameExeName);
    const std::string arguments = JoinCommandLineArgs();
    if (!CreateGameProcess(arguments)) {
      // The next run's check then finds the installation incomplete and repairs it.
      if (platform::PathExists(request.path)) platform::RemoveFile(request.path);
    }
    // The launcher stays as long after the start as ever; what is done meanwhile may keep it
    // longer, never cut short.
    const int64_t started = NowMs();
    followUp();
    const int64_t left = 700 - (NowMs() - started);
    RunDelayed(left > 0 ? static_cast<int>(left) : 0, [] { platform::QuickExit(0); });
  } catch (const std::exception& e) {
    followUp();
    if (platform::PathExists(request.path)) platform::RemoveFile(request.path);
    const std::string message = "启动游戏失败," + std::string(e.what());
    request.app->ShowCloseButton();
    request.app->BringToFront();
    platform::ShowMessageBox(message, "", platform::kMbSystemModal);
    RunDelayed(600, [] { platform::QuickExit(0); });
  }
}

std::string JoinCommandLineArgs() {
  const std::vector<std::string> arguments = platform::ProgramArguments();
  std::string joined;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) joined += ' ';
    joined += arguments[i];
  }
  return joined;
}

bool CreateGameProcess(const std::string& arguments) {
  const std::string commandLine = JoinPath(installDirName, gameExeName) + " " + arguments;
  const std::string directory = JoinPath(platform::WorkingDirectory(), installDirName);
  return platform::StartProcess(commandLine, directory);
}
