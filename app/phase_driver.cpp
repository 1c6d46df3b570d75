// The launcher's script: check, download, settle, verify, extract, launch. Each handler runs on
// the worker that reported, sets the next phase and starts the next piece of work; every failure
// ends in a Retry/Cancel box on that worker.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "app/download_progress.h"
#include "app/format_size.h"
#include "app/launcher_app.h"
#include "core/layout.h"
#include "core/random_numbers.h"
#include "core/strings.h"
#include "fs/directory.h"
#include "fs/download_record.h"
#include "fs/now_ms.h"
#include "fs/path_join.h"
#include "install/clean_up.h"
#include "install/file_digest.h"
#include "install/game_processes.h"
#include "install/package_stage.h"
#include "install/staged_install.h"
#include "install/zip_util.h"
#include "net/http_util.h"
#include "net/package_parts.h"
#include "net/remember_package.h"
#include "net/worker.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process_exit.h"

namespace {

// Room for the part of the package still to come, asked of the folder the package is written
// into (made by StartCheck), else of the working directory, once RememberPackage has deleted a
// superseded package: a file of that name the download starts over truncates counts as free.
// Empty when there is room, or when the system cannot say; otherwise the text for the download
// failure box.
std::string MissingRoomForPackage(const std::string& zipName, uint64_t zipBytes,
                                  int64_t resumeOffset) {
  const uint64_t kept = resumeOffset > 0 ? static_cast<uint64_t>(resumeOffset) : 0;
  if (zipBytes <= kept) return {};
  const uint64_t remaining = zipBytes - kept;
  const size_t cut = zipName.find_last_of("/\\");
  std::optional<uint64_t> free =
      platform::FreeDiskBytes(cut == std::string::npos ? "." : zipName.substr(0, cut + 1));
  if (!free.has_value()) free = platform::FreeDiskBytes(".");
  if (free.has_value() && kept == 0 && platform::PathExists(zipName)) *free += FileSize64(zipName);
  if (!free.has_value() || *free >= remaining) return {};
  return "磁盘空间不足：下载还需要" + FormatSize(remaining) + "，磁盘只剩" + FormatSize(*free);
}

}  // namespace

void LauncherApp::StartCheck(std::optional<int> firstDelayMs) {
  // A differential attempt that failed before this check must not describe whatever this one
  // installs: its directory is another package's. Its small zip came this far only to fail the
  // extraction, so this attempt takes the whole package.
  if (deltaDirectory_) deltaFailed_ = true;
  deltaDirectory_.reset();
  deltaKeptFiles_.clear();
  CreateDir(packageFolderName);
  ShowCheckStarted();
  SetPhase("check");
  check.Run([this](const std::string& status, const std::string& zipName, const std::string& zipMd5,
                   int64_t zipBytes, int64_t resumeOffset) {
    try {
      OnCheckResult(status, zipName, zipMd5, zipBytes, resumeOffset);
    } catch (const std::exception& e) {
      BringToFront();
      platform::ShowMessageBox(e.what(), "发生错误", platform::kMbSystemModal);
    }
  }, firstDelayMs);
}

void LauncherApp::OnCheckResult(const std::string& status, const std::string& zipName,
                                const std::string& zipMd5, int64_t zipBytes, int64_t resumeOffset) {
  if (status == "error") {
    ShowRetryDialog(zipName, "发生错误");
  } else if (status == "notNeedUpdate") {
    RemovePackageFolder(packageFolderName);
    LaunchGame(false);
  } else if (status == "needUpdate") {
    ShowUpdateNeeded();
    const uint64_t size = FileSize64(zipName);
    // A parts file beside the package says it has gaps, whatever its length.
    if (platform::PathExists(zipName) && !platform::PathExists(PackagePartsPath(zipName)) &&
        resumeOffset >= 0 && size == static_cast<uint64_t>(resumeOffset) &&
        zipBytes == resumeOffset) {
      RememberPackage(zipName, zipMd5, [this] { ShowRecordWriteError(); });
      StartCleanUpPhase(zipName, zipMd5, static_cast<int64_t>(size));
      return;
    }
    if (packageFolderUrls.empty()) return;
    if (resumeOffset == 0 && !deltaFailed_ && StartDeltaUpdate(zipName, zipMd5, zipBytes)) return;
    StartFullDownload(zipName, zipMd5, zipBytes, resumeOffset);
  }
}

void LauncherApp::StartFullDownload(const std::string& zipName, const std::string& zipMd5,
                                    int64_t zipBytes, int64_t resumeOffset, bool remembered) {
  ShowDownloadStarted();
  SetPhase("download");
  if (!remembered) RememberPackage(zipName, zipMd5, [this] { ShowRecordWriteError(); });
  // Refused before the first byte rather than failing with a full disk in the middle. Without a
  // stated size nothing is known to compare.
  if (const std::string missing =
          check.packageByteLimit
              ? MissingRoomForPackage(zipName, *check.packageByteLimit, resumeOffset)
              : std::string();
      !missing.empty()) {
    ShowRetryDialog(missing + "\n点击重试", "");
    return;
  }
  // One base at random leads, the others serve ranges beside it.
  const size_t lead = RandomIndex(baseUrls.size());

  DownloadProgressState progress;
  progress.lastTimeMs = NowMs();
  progress.resumeOffset = resumeOffset;
  progress.report = [this, zipName, zipMd5, zipBytes](const std::string& event,
                                                     const std::string& message, uint64_t done,
                                                     double speed) {
    OnDownloadEvent(zipName, event, message, done, zipBytes, speed, zipMd5);
  };

  DownloadTask task;
  task.resumeOffset = resumeOffset > 0 ? static_cast<uint64_t>(resumeOffset) : 0;
  task.localPath = zipName;
  task.callback = MakeProgressAdapter(std::move(progress));
  task.url = JoinUrl(baseUrls[lead], zipName);
  for (size_t i = 1; i < baseUrls.size(); ++i) {
    task.mirrorUrls.push_back(JoinUrl(baseUrls[(lead + i) % baseUrls.size()], zipName));
  }
  task.maxBytes = check.packageByteLimit;  // set with this verdict, on this thread
  task.wantSha256 = !check.packageSha256.empty();
  downloadDigests_.reset();
  task.digests = [this](const DownloadDigests& made) { downloadDigests_ = made; };
  // Entries are inflated beside the package while it arrives, so the install after the check
  // is mostly moves. Without a stated size the stage could not tell where the package ends.
  if (stage_) stage_->Stop();
  stage_.reset();
  if (zipBytes > 0) {
    auto stage = std::make_shared<PackageStage>(
        zipName, packageFolderName + kStageFolderSuffix, static_cast<uint64_t>(zipBytes));
    if (stage->Start()) {
      stage_ = stage;
      task.prefixWritten = [stage](uint64_t bytes) { stage->PrefixWritten(bytes); };
    }
  }
  HttpUtil::StartDownload(std::move(task));
}

void LauncherApp::OnDownloadEvent(const std::string& zipPath, const std::string& event,
                                  const std::string& message, uint64_t done, int64_t total,
                                  double speed, const std::string& zipMd5) {
  if (event == "trans") {
    ShowDownloadProgress(done, total, speed);
  } else if (event == "succ") {
    StartCleanUpPhase(zipPath, zipMd5, total);
  } else if (event == "fail") {
    if (stage_) stage_->Stop();
    ShowRetryDialog(message + "\n点击重试", "");
  }
}

void LauncherApp::StartCleanUpPhase(const std::string& zipPath, const std::string& zipMd5,
                                    int64_t sizeBytes) {
  const size_t stopped = KillGameProcesses(gameExeName);
  ShowTransferFinished(sizeBytes);
  SetPhase("cleanRes");
  // The pause lets a terminated game release its files before the package is read; with no game
  // stopped there is nothing to wait for.
  RunDelayed(stopped > 0 ? 900 : 0, [this, zipPath, zipMd5] { VerifyAndUnzip(zipPath, zipMd5); },
             [this](const std::string& what) { ShowRetryDialog("解压缩失败 " + what, ""); });
}

void LauncherApp::VerifyAndUnzip(const std::string& zipPath, const std::string& zipMd5) {
  // Publishers' tools print digests in either case; the bytes decide, not the letters.
  // A document that states the package's SHA-256 is held to it as well: MD5 alone lets a
  // package be made to match.
  // The download hashed the package as it wrote it; a package it did not write (found complete
  // by the check) is read once for both digests.
  const std::string sha256 = check.packageSha256;
  std::optional<DownloadDigests> made;
  made.swap(downloadDigests_);
  if (made && !sha256.empty() && made->sha256.empty()) made.reset();
  const bool matches =
      made ? SameDigest(made->md5, zipMd5) && (sha256.empty() || SameDigest(made->sha256, sha256))
      : sha256.empty() ? SameDigest(FileMd5IfExists(zipPath), zipMd5)
                       : [&] {
                           const PackageDigests read = FileMd5AndSha256(zipPath);
                           return SameDigest(read.md5, zipMd5) && SameDigest(read.sha256, sha256);
                         }();
  if (!matches) {
    if (stage_) stage_->Discard();
    stage_.reset();
    platform::RemoveFile(zipPath);
    ShowRetryDialog("文件校验不一致，点击重新下载", "");
    return;
  }
  BeginUnzip(zipPath);
}

void LauncherApp::BeginUnzip(const std::string& zipPath) {
  ShowUnzipStarted();
  SetPhase("unzip");
  // RememberPackage marked the install as pending before the download; the mark stays until the
  // extraction succeeds, so a run cut short here installs the package again.
  unzipPath_ = zipPath;
  try {
    // Only a stage of this very package: the install's directory decides what of it is used.
    if (std::shared_ptr<PackageStage> stage = std::move(stage_); stage && stage->Package() == zipPath && !deltaDirectory_) {
      StagedInstallTask task;
      task.zipPath = zipPath;
      task.destDir = installDirName;
      task.staged = stage->Finish();
      task.callback = [this](const std::string& event, const std::string& message, long long done,
                             long long total) { OnUnzipEvent(event, message, done, total); };
      StartStagedInstall(std::move(task));
      return;
    }
    UnzipTask task;
    task.zipPath = zipPath;
    task.destDir = installDirName;
    task.callback = [this](const std::string& event, const std::string& message, long long done,
                           long long total) { OnUnzipEvent(event, message, done, total); };
    ZipUtil::StartUnzip(std::move(task));
  } catch (const std::exception& e) {
    platform::RemoveFile(zipPath);
    ShowRetryDialog("解压缩失败 " + std::string(e.what()), "");
  }
}

void LauncherApp::OnUnzipEvent(const std::string& event, const std::string& message, int64_t done,
                               int64_t total) {
  (void)message;
  if (event == "unzip") {
    ShowUnzipProgress(done, total);
  } else if (event == "succ") {
    // Before the mark goes: a run cut short between the two finds the new manifest and the
    // pending mark, and redoes an update that then fetches nothing.
    WriteInstalledManifest();
    if (!SaveDownloadRecord(installPendingKey, "")) ShowRecordWriteError();
    // The game need not wait for the package to go: freeing a large file takes the system a
    // while (half a second a GiB where it trims the disk). A run cut short before the removal
    // ends leaves the folder to the next start, whose check removes it with the game current.
    LaunchGame(true, [this] { RemovePackageFolder(packageFolderName); });
  } else if (event == "fail") {
    // A small zip that failed is no start for a later run to resume from.
    if (deltaDirectory_) platform::RemoveFile(unzipPath_);
    ShowRetryDialog("解压文件失败！ 1.如果游戏打开，尝试关闭游戏后重试\n 2.删除文件夹" + installDirName + "后重试",
                    "");
  }
}

int LauncherApp::ShowRetryDialog(std::string message, const std::string& caption) {
  const size_t marker = message.find("StackTrace=");
  if (marker != std::string::npos) message.resize(marker);
  BringToFront();
  const int result = platform::ShowMessageBox(message, caption,
                                              platform::kMbSystemModal | platform::kMbRetryCancel);
  if (result == platform::kIdCancel) platform::QuickExit(0);
  StartCheck();
  return result;
}

void LauncherApp::ShowRecordWriteError() {
  BringToFront();
  platform::ShowMessageBox("访问文件" + downloadRecordPath + "错误，请关闭其他占用该文件的程序后再重试",
                           "错误", platform::kMbSystemModal | platform::kMbIconError);
}
