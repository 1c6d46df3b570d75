#include "install/zip_util.h"

#include <unzip.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "fs/safe_path.h"
#include "install/empty_archive.h"
#include "install/extraction_plan.h"
#include "install/extraction_run.h"
#include "install/package_archive.h"
#include "net/worker.h"
#include "platform/diagnostics.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

namespace {

// How long the calling thread sleeps at most between looks at the threads' progress, should a
// wake-up be lost.
constexpr std::chrono::milliseconds kProgressWait{200};

void Log(const std::string& line) { platform::Diagnostic("%s\n", line.c_str()); }

// Paths below the destination are in the UTF-8 form of platform/utf8_files.h: an entry name
// outside the system's code page is still written under its own characters.
bool MakeOneDirectory(const std::string& path) {
  return platform::utf8::MakeDirectory(path) != platform::MakeDirResult::Failed;
}

// The calling thread walks the directory, makes the folders and reports; the entries' files are
// written by as many threads as the work and the machine's cores call for (the calling thread
// alone when one is enough), every event still coming from the calling thread.
class Extraction {
 public:
  Extraction(const std::string& zipPath, const std::string& destDir, const UnzipCallback& callback,
             UnzipDurability durability, const UnzipOptions& options)
      : zipPath_(zipPath),
        destination_(destDir),
        callback_(callback),
        durability_(durability),
        options_(options) {
    if (!destination_.empty()) {
      char& last = destination_.back();
      if (last == '/' || last == '\\') {
        last = platform::kPathSeparator;
      } else {
        destination_ += platform::kPathSeparator;
      }
    }
    root_ = platform::utf8::FromNarrow(destination_);
  }

  bool Run() {
    if (!MakeOneDirectory(root_)) {
      return Fail("create directory fail: " + destination_, 0, false);
    }
    archive_ = OpenPackage(zipPath_);
    if (archive_ == nullptr && IsEmptyZipArchive(zipPath_)) return SucceedEmpty();
    unz_global_info64 global{};
    if (archive_ == nullptr || unzGetGlobalInfo64(Archive(), &global) != UNZ_OK) {
      return Fail("open zip file fail: " + zipPath_, 0, true);
    }
    count_ = static_cast<long long>(global.number_entry);
    total_ = count_;
    Log("start unzip");

    std::vector<PlannedEntry> entries;
    if (!CheckAllEntries(entries)) return false;
    run_ = std::make_shared<ExtractionRun>(zipPath_, root_, durability_, std::move(entries));
    MakeFolders();
    const unsigned threads = ExtractionThreads(
        options_.threads, std::thread::hardware_concurrency(), run_->entries, run_->jobs.size());
    if (threads > 1 && StartExtractionThreads(run_, threads) > 0) ReportUntilThreadsEnd();
    // What no thread took (none could start, or open the package), or everything when one
    // thread is enough: here, reporting after each entry.
    EntryWriter writer;
    RunJobs(*run_, Archive(), writer, [this] { Report(run_->progress.Take()); });
    Report(run_->progress.Take());

    if (const std::optional<ExtractionFailure> failure = run_->progress.Failure()) {
      if (!failure->logLine.empty()) Log(failure->logLine);
      return Fail(failure->message, SelectedBefore(failure->index), false);
    }
    // Before "succ", which clears the pending-install mark: the files must be on the disk by
    // then. Numbered after the last entry, since no one entry failed.
    if (durability_ == UnzipDurability::OnDisk && !platform::SyncFileSystem(destination_)) {
      return Fail("sync unzip files fail: " + destination_, total_, true);
    }

    Log("end unzip");
    archive_.reset();
    Send("succ", "", total_, total_);
    return true;
  }

 private:
  bool SucceedEmpty() {
    Log("start unzip");
    Log("end unzip");
    Send("succ", "", 0, 0);
    return true;
  }

  // A first walk over the central directory, so that an archive holding one name that would
  // escape the destination, or more bytes than the disk has room for, writes nothing at all.
  // Every name is checked, selected or not; the room is counted for the selected entries.
  bool CheckAllEntries(std::vector<PlannedEntry>& entries) {
    if (count_ == 0) return true;
    entries.reserve(static_cast<size_t>(count_));
    for (long long i = 0; i < count_; ++i) {
      PlannedEntry entry;
      if (!ReadEntryName(Archive(), &entry.name, &entry.declaredBytes) ||
          unzGetFilePos64(Archive(), &entry.position) != UNZ_OK) {
        return Fail("read entry info fail", i, true);
      }
      if (LeadsOutsideDestination(entry.name)) {
        return Fail("unsafe entry name: " + ShownName(entry.name), i, true);
      }
      if (!MoveToNext(i, entry.name)) return false;
      entries.push_back(std::move(entry));
    }
    const long long selected = ApplySelection(entries, options_.selected);

    uint64_t needed = 0;
    uint64_t replaced = 0;
    for (const PlannedEntry& entry : entries) {
      if (!entry.selected || !WritesFile(entry)) continue;
      // Saturating: a forged size must not wrap around into a small need.
      needed = entry.declaredBytes > UINT64_MAX - needed ? UINT64_MAX : needed + entry.declaredBytes;
      // Opening an existing file for writing empties it first, giving its room back.
      replaced += platform::utf8::FileSize(root_ + WithPlatformSeparators(entry.name));
    }
    needed = needed > replaced ? needed - replaced : 0;
    const std::optional<uint64_t> free = platform::FreeDiskBytes(destination_);
    if (free.has_value() && needed > *free) {
      return Fail("not enough disk space: " + std::to_string(needed) + " bytes needed, " +
                      std::to_string(*free) + " free",
                  0, true);
    }
    total_ = selected;
    return true;
  }

  bool MoveToNext(long long i, const std::string& name) {
    if (i + 1 >= count_) return true;
    if (unzGoToNextFile(Archive()) != UNZ_OK) {
      return Fail("cannont read next file: " + ShownName(name), i, true);
    }
    return true;
  }

  // Every folder the selected entries need, made in archive order before any file is written,
  // so that no thread waits for another's folder. A folder that cannot be made fails its entry;
  // the entries before it are still written, as in a walk from the first entry on.
  void MakeFolders() {
    std::string lastDirectory;
    for (size_t i = 0; i < run_->entries.size(); ++i) {
      const PlannedEntry& entry = run_->entries[i];
      if (!entry.selected) continue;
      const std::string dirPart = DirPartOf(entry.name);
      if (!dirPart.empty()) {
        std::string path = root_;
        for (const std::string& piece : SplitDirComponents(dirPart)) {
          path += WithPlatformSeparators(piece);
          // Archives list their files folder by folder, so the folders of the previous entry
          // are usually the ones this entry needs; they were made moments ago and nothing else
          // writes into the destination, so asking the file system again would only cost time.
          if (lastDirectory.compare(0, path.size(), path) != 0 && !MakeOneDirectory(path)) {
            run_->progress.Fail({i, "create directory fail: " + ShownName(path), ""});
            return;
          }
        }
        lastDirectory = path;
      }
      if (!WritesFile(entry)) run_->progress.Written(i);
    }
  }

  void ReportUntilThreadsEnd() {
    for (;;) {
      const ExtractionProgress::News news = run_->progress.Take(kProgressWait);
      Report(news.reportable);
      if (!news.threadsRunning) return;
    }
  }

  void Report(const ExtractionProgress::News& news) { Report(news.reportable); }
  void Report(const std::vector<size_t>& entries) {
    for (const size_t i : entries) {
      Send("unzip", ShownName(run_->entries[i].name), ++reported_, total_);
    }
  }

  // A failed entry is numbered by the entries reported before it, as its place in the progress.
  long long SelectedBefore(size_t index) const {
    long long count = 0;
    for (size_t i = 0; i < index; ++i) count += run_->entries[i].selected ? 1 : 0;
    return count;
  }

  bool Fail(const std::string& message, long long index, bool logged) {
    if (logged) Log(message);
    Send("fail", message, index, archive_ != nullptr ? total_ : 0);
    archive_.reset();
    return false;
  }

  void Send(const std::string& event, const std::string& message, long long first,
            long long second) const {
    if (callback_) callback_(event, message, first, second);
  }

  unzFile Archive() const { return static_cast<unzFile>(archive_.get()); }

  const std::string& zipPath_;
  std::string destination_;  // narrow; ends in a separator unless empty
  std::string root_;         // the destination in the UTF-8 form
  const UnzipCallback& callback_;
  const UnzipDurability durability_;
  const UnzipOptions& options_;
  ArchivePtr archive_;
  long long count_ = 0;     // entries in the archive
  long long total_ = 0;     // entries to extract: the events' second number
  long long reported_ = 0;  // "unzip" events sent
  std::shared_ptr<ExtractionRun> run_;
};

}  // namespace

bool ZipUtil::Unzip(const std::string& zipPath, const std::string& destDir,
                    const UnzipCallback& callback, UnzipDurability durability,
                    const UnzipOptions& options) {
  return Extraction(zipPath, destDir, callback, durability, options).Run();
}

bool ZipUtil::ExtractCurrentEntry(void* archive, const std::string& name,
                                  const std::string& outPath, std::string& error,
                                  UnzipDurability durability) {
  EntryWriter writer;
  if (writer.Write(static_cast<unzFile>(archive), name, outPath, durability, error) ==
      EntryOutcome::Written) {
    return true;
  }
  Log(error);
  return false;
}

void ZipUtil::StartUnzip(UnzipTask task, UnzipOptions options) {
  StartWorker(std::move(task),
              [options = std::move(options)](UnzipTask& own) {
                Unzip(own.zipPath, own.destDir, own.callback, UnzipDurability::OnDisk, options);
              },
              [](UnzipTask& own, const std::string& what) {
                if (own.callback) own.callback("fail", what, 0, 0);
              });
}
