#include "install/staged_install.h"

#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "fs/locked_file_retry.h"
#include "fs/parent_folders.h"
#include "fs/safe_path.h"
#include "install/installed_path.h"
#include "install/zip_directory.h"
#include "net/worker.h"
#include "platform/diagnostics.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "platform/utf8_files.h"

namespace {

bool SameEntry(const StagedEntry& staged, const ZipDirectoryEntry& entry) {
  return staged.name == entry.name && staged.localHeaderOffset == entry.localHeaderOffset &&
         staged.crc32 == entry.crc32 && staged.compressedBytes == entry.compressedBytes &&
         staged.uncompressedBytes == entry.uncompressedBytes &&
         platform::utf8::FileSize(staged.stagedPath) == entry.uncompressedBytes;
}

struct Plan {
  // Directory indexes of the entries whose staged file is moved, with that file.
  std::vector<std::pair<size_t, const StagedEntry*>> moves;
  std::vector<bool> extracted;   // by directory index: taken from the package
  size_t extractedCount = 0;
};

// Nothing when the stage cannot be used at all: the directory unreadable, a name the extraction
// refuses (it says so with its own message), or two entries writing one file (archive order
// decides which one stays, which only the extraction follows).
std::optional<Plan> PlanMoves(const std::vector<ZipDirectoryEntry>& directory,
                              const std::vector<StagedEntry>& staged) {
  std::unordered_map<std::string, const StagedEntry*> stagedByKey;
  for (const StagedEntry& entry : staged) stagedByKey[FileSystemKey(entry.name)] = &entry;
  std::unordered_set<std::string> seen;
  Plan plan;
  plan.extracted.assign(directory.size(), false);
  for (size_t i = 0; i < directory.size(); ++i) {
    const ZipDirectoryEntry& entry = directory[i];
    if (LeadsOutsideDestination(entry.name)) return std::nullopt;
    const std::string key = FileSystemKey(entry.name);
    if (!seen.insert(key).second) return std::nullopt;
    if (IsFolderEntry(entry.name)) continue;  // made on the way, like every other folder
    const auto found = stagedByKey.find(key);
    if (found != stagedByKey.end() && SameEntry(*found->second, entry)) {
      plan.moves.emplace_back(i, found->second);
    } else {
      plan.extracted[i] = true;
      ++plan.extractedCount;
    }
  }
  return plan;
}

}  // namespace

bool InstallStaged(const StagedInstallTask& task) {
  const auto whole = [&task] { return ZipUtil::Unzip(task.zipPath, task.destDir, task.callback); };
  if (task.staged.empty()) return whole();
  const std::optional<std::vector<ZipDirectoryEntry>> directory =
      ReadZipDirectoryOfFile(task.zipPath);
  if (!directory.has_value()) return whole();
  std::optional<Plan> plan = PlanMoves(*directory, task.staged);
  if (!plan.has_value() || plan->moves.empty()) return whole();

  platform::Diagnostic("staged install: %zu files to move, %zu entries from the package\n",
                       plan->moves.size(), plan->extractedCount);
  std::string root = platform::utf8::FromNarrow(task.destDir);
  platform::utf8::MakeDirectory(root);
  ParentFolders folders(root);
  const long long total = static_cast<long long>(directory->size());
  long long done = 0;
  for (const auto& [i, staged] : plan->moves) {
    const ZipDirectoryEntry& entry = (*directory)[i];
    const std::optional<std::string> target = InstalledPathOf(task.destDir, entry.name);
    const std::string& source = staged->stagedPath;
    if (!target.has_value()) continue;
    folders.MakeFor(*target);
    // A file held by a game still letting go is waited for, as the extraction waits to write.
    int attempts = 0;
    if (!RetryWhileHeld("move staged file", *target, [&] {
          ++attempts;
          return platform::utf8::MoveReplacing(source, *target);
        })) {
      // Still held after the wait: the install stops there, as the extraction would, and the
      // files after it stay as they were.
      if (attempts > 1) {
        const std::string message = "extract file fail: " + platform::Utf8ToNarrow(entry.name);
        platform::Diagnostic("%s\n", message.c_str());
        if (task.callback) task.callback("fail", message, done, total);
        return false;
      }
      // Anything else (another volume, say) may still be written from the package.
      platform::Diagnostic("move staged file fail: %s, extracting it instead\n",
                           platform::Utf8ToNarrow(entry.name).c_str());
      plan->extracted[i] = true;
      ++plan->extractedCount;
      continue;
    }
    if (EntryMarksExecutable(entry)) platform::utf8::MarkExecutable(*target);
    if (task.callback) task.callback("unzip", platform::Utf8ToNarrow(entry.name), ++done, total);
  }
  if (plan->extractedCount > 0) {
    // Numbered after the moves, so the bar goes on from where they left it.
    const UnzipCallback rest = [&](const std::string& event, const std::string& message,
                                   long long first, long long) {
      if (!task.callback) return;
      if (event == "unzip") {
        task.callback(event, message, done + first, total);
      } else {
        task.callback(event, message, first, total);
      }
    };
    UnzipOptions options;
    options.selected = plan->extracted;
    return ZipUtil::Unzip(task.zipPath, task.destDir, rest, UnzipDurability::OnDisk, options);
  }
  // The moved files were written beside the package; they reach the disk with the folders that
  // now name them before the install counts as done.
  if (!platform::SyncFileSystem(task.destDir)) {
    if (task.callback) task.callback("fail", "sync unzip files fail: " + task.destDir, total, total);
    return false;
  }
  if (task.callback) task.callback("succ", "", total, total);
  return true;
}

void StartStagedInstall(StagedInstallTask task) {
  StartWorker(std::move(task), [](StagedInstallTask& own) { InstallStaged(own); },
              [](StagedInstallTask& own, const std::string& what) {
                if (own.callback) own.callback("fail", what, 0, 0);
              });
}
