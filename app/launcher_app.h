#pragma once
// The one application object: the main window with its splash, the receiver of every result the
// workers report, and the phase driver that runs the sequence from the check to the game.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ui_queue.h"
#include "install/package_manifest.h"
#include "install/package_stage.h"
#include "install/zip_directory.h"
#include "net/http_util.h"
#include "platform/window_system.h"
#include "ui/splash_screen.h"
#include "update/check.h"

class LauncherApp : public SplashScreen {
 public:
  // Creates and centres the main window, builds the splash and starts the check phase.
  // startedAt: the PerformanceCounter reading at the program's start, when known. The first
  // check's fetch delay counts from it: the time the window system takes to come up is spent
  // inside that delay rather than before it.
  LauncherApp(void* instance, platform::WindowSystem& windows,
              std::optional<int64_t> startedAt = std::nullopt);
  ~LauncherApp() override;

  // The procedure of the main window and of every form window.
  void WindowProc(WindowHandle window, platform::WindowMessage message,
                  const platform::MessageParams& params);
  void OnCloseClicked() override;

  // Phase driver. Except for the first StartCheck, these run on the worker that reported.
  // firstDelayMs: what is left of the config document's fetch delay (see Check::Run).
  void StartCheck(std::optional<int> firstDelayMs = std::nullopt);
  void OnCheckResult(const std::string& status, const std::string& zipName,
                     const std::string& zipMd5, int64_t zipBytes, int64_t resumeOffset);
  // The package's download from its first byte, or from resumeOffset.
  // remembered: RememberPackage already ran for this attempt (a differential one fell back).
  void StartFullDownload(const std::string& zipName, const std::string& zipMd5, int64_t zipBytes,
                         int64_t resumeOffset, bool remembered = false);
  // A differential update when what is installed is known: true when one was started (it falls
  // back to StartFullDownload by itself), false when the full download must run.
  bool StartDeltaUpdate(const std::string& zipName, const std::string& zipMd5, int64_t zipBytes);
  // After a finished extraction: the manifest of what is now installed, from the new package's
  // whole directory (the differential update's, else the extracted package's own).
  void WriteInstalledManifest();
  void OnDownloadEvent(const std::string& zipPath, const std::string& event,
                       const std::string& message, uint64_t done, int64_t total, double speed,
                       const std::string& zipMd5);
  // Stops the running game, shows the transfer as finished, enters "cleanRes", and 900 ms later
  // verifies and extracts the package on a delayed worker.
  void StartCleanUpPhase(const std::string& zipPath, const std::string& zipMd5, int64_t sizeBytes);
  void VerifyAndUnzip(const std::string& zipPath, const std::string& zipMd5);
  void BeginUnzip(const std::string& zipPath);
  void OnUnzipEvent(const std::string& event, const std::string& message, int64_t done,
                    int64_t total);
  int ShowRetryDialog(std::string message, const std::string& caption);
  // The box for a download record that could not be written; OK lets the run go on.
  void ShowRecordWriteError();
  // whileGameStarts: done after the game is started, before this process exits.
  void LaunchGame(bool afterUpdate, std::function<void()> whileGameStarts = {});

  // Per frame, on the user-interface thread: the status line with its dots.
  void Update(double elapsedSeconds);

  // Hand-over to the user-interface thread: workers never touch widgets or phase themselves.
  void OnUiThread(std::function<void()> action);
  // The latest change of a kind wins; progress floods cannot grow the queue.
  void OnUiThreadLatest(const std::string& slot, std::function<void()> action);
  // Runs what workers handed over; the frame loop calls it on every pass.
  bool DrainUiQueue();
  // Ends the frame loop (PostQuitMessage).
  void PostQuit(int exitCode);
  bool QuitRequested() const { return quitRequested_.load(); }
  int ExitCode() const { return exitCode_.load(); }

  // Presentation steps; each hands its widget changes to the user-interface thread.
  void ShowCheckStarted();
  void ShowUpdateNeeded();
  void ShowDownloadStarted();
  void ShowDownloadProgress(uint64_t done, int64_t total, double speed);
  void ShowTransferFinished(int64_t total);
  void ShowUnzipStarted();
  void ShowUnzipProgress(int64_t done, int64_t total);
  void ShowLaunching();
  void ShowCloseButton();
  void SetPhase(const std::string& name);
  // Puts the main window in front before a box; from a worker it returns once the
  // user-interface thread has done so (or after a bounded wait).
  void BringToFront();

  const std::string title = "Tidewake";
  std::vector<std::string> packageFolderUrls;
  std::string phase;  // read and written on the user-interface thread only
  Check check;
  platform::WindowSystem& windows;

 private:
  void SetFillWidth(int32_t fillWidth);

  // The extraction's archive, and after a differential update the new package's whole
  // directory: set before the extraction starts, read when it has succeeded.
  std::string unzipPath_;
  std::optional<std::vector<ZipDirectoryEntry>> deltaDirectory_;
  std::vector<ManifestEntry> deltaKeptFiles_;  // the files it left in place
  // A small zip that failed its extraction: the next attempt of this run fetches the whole
  // package, since a broken range cache would fail the same way again.
  bool deltaFailed_ = false;
  // The digests the download made of the package it wrote, for the check after the settle:
  // set on the download's worker before its "succ", which starts the settle's thread.
  std::optional<DownloadDigests> downloadDigests_;
  // The entries inflated while the package downloads: made with the download, handed to the
  // install once the package passed its digests. The download's worker holds it too.
  std::shared_ptr<PackageStage> stage_;
  UiQueue uiQueue_;
  const std::thread::id uiThread_;
  std::atomic<bool> quitRequested_{false};
  std::atomic<int> exitCode_{0};
  bool closeRequested_ = false;  // user-interface thread only
  double dotTimer_ = 0.5;
  int32_t dotCount_ = 0;
};

// The one application object, set by its constructor.
extern LauncherApp* theApp;
