// The differential update's place in the script: tried before the full download when what is
// installed is known, given up for the full download on anything short of a complete small zip,
// which then takes the ordinary settle and extraction (without the whole package's digest: its
// entries' CRC-32s and, on a signed release, their hashes stand for it).

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/download_progress.h"
#include "app/launcher_app.h"
#include "core/layout.h"
#include "core/random_numbers.h"
#include "fs/now_ms.h"
#include "fs/path_join.h"
#include "install/delta_update.h"
#include "install/game_processes.h"
#include "install/package_manifest.h"
#include "net/remember_package.h"
#include "net/worker.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "update/trusted_key.h"

bool LauncherApp::StartDeltaUpdate(const std::string& zipName, const std::string& zipMd5,
                                   int64_t zipBytes) {
  // The default size says nothing about the real package, whose end must be found from it.
  if (!check.packageByteLimit || *check.packageByteLimit == 0) return false;
  if (!platform::PathExists(packageManifestPath)) return false;
  const bool signedRelease = TrustedPublicKey().has_value();
  // Entries not hashed by the publisher would be installed on their CRC-32 alone.
  if (signedRelease && (check.packageDirectorySha256.empty() || check.packageEntrySha256.empty())) {
    return false;
  }

  ShowDownloadStarted();
  SetPhase("download");
  // As before a full download: from here on a run cut short redoes the update.
  RememberPackage(zipName, zipMd5, [this] { ShowRecordWriteError(); });

  DeltaRequest request;
  request.url = JoinUrl(baseUrls[RandomIndex(baseUrls.size())], zipName);
  request.archiveBytes = *check.packageByteLimit;
  request.deltaPath = zipName + ".delta.zip";
  request.manifestPath = packageManifestPath;
  request.installDir = installDirName;
  request.hashesRequired = signedRelease;
  request.directorySha256 = check.packageDirectorySha256;
  request.entrySha256 = check.packageEntrySha256;
  auto progress = std::make_shared<DownloadProgressState>();
  progress->lastTimeMs = NowMs();
  request.progress = [this, progress](const std::string&, const std::string&, double received,
                                      double planned) {
    uint64_t done = 0;
    double speed = 0;
    AdvanceProgress(*progress, received, NowMs(), &done, &speed);
    ShowDownloadProgress(done, static_cast<int64_t>(planned), speed);
  };

  const auto failed = [this](DeltaRequest&, const std::string& what) {
    ShowRetryDialog(what + "\n点击重试", "");
  };
  StartWorker(std::move(request), [this, zipName, zipMd5, zipBytes](DeltaRequest& own) {
    DeltaOutcome outcome;
    try {
      outcome = RunDeltaUpdate(own);
    } catch (const std::exception& e) {
      // Out of memory or threads on this road: the whole package may still fit.
      platform::Diagnostic("delta: falling back to the full package: %s\n", e.what());
      platform::RemoveFile(own.deltaPath);
    }
    if (outcome.status != "succ") {
      StartFullDownload(zipName, zipMd5, zipBytes, 0, true);
      return;
    }
    platform::Diagnostic("delta update of %s: %zu of %zu entries fetched (%llu bytes), %zu kept; "
                         "end records and directory %llu bytes\n",
                         zipName.c_str(), outcome.fetched, outcome.fetched + outcome.kept,
                         static_cast<unsigned long long>(outcome.rangeBytes), outcome.kept,
                         static_cast<unsigned long long>(outcome.directoryBytes));
    deltaDirectory_ = std::move(outcome.directory);
    deltaKeptFiles_ = std::move(outcome.keptFiles);
    const size_t stopped = KillGameProcesses(gameExeName);
    ShowTransferFinished(static_cast<int64_t>(outcome.rangeBytes));
    SetPhase("cleanRes");
    // The same pause as before a full package's extraction, for a game that was just stopped.
    // With no game running there is nothing to wait for, and on this road the pause would be
    // most of the update's time.
    RunDelayed(stopped > 0 ? 900 : 0,
               [this, deltaPath = own.deltaPath] { BeginUnzip(deltaPath); },
               [this](const std::string& what) { ShowRetryDialog("解压缩失败 " + what, ""); });
  }, failed);
  return true;
}

void LauncherApp::WriteInstalledManifest() {
  std::optional<std::vector<ZipDirectoryEntry>> directory;
  if (deltaDirectory_) {
    directory = std::move(deltaDirectory_);
    deltaDirectory_.reset();
    // The small zip is no package a later run could resume or keep.
    platform::RemoveFile(unzipPath_);
  } else {
    directory = ReadZipDirectoryOfFile(unzipPath_);
    deltaKeptFiles_.clear();
  }
  // Without a manifest the next update is a full download, which is always right.
  if (!directory ||
      !WritePackageManifest(packageManifestPath, installDirName, *directory, deltaKeptFiles_)) {
    platform::RemoveFile(packageManifestPath);
    platform::Diagnostic("no manifest of the installed package written\n");
  }
  deltaKeptFiles_.clear();
}
