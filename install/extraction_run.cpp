#include "install/extraction_run.h"

#include <exception>
#include <optional>
#include <utility>

#include "fs/safe_path.h"
#include "platform/detached_thread.h"

namespace {

std::vector<bool> SelectedOf(const std::vector<PlannedEntry>& entries) {
  std::vector<bool> selected(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) selected[i] = entries[i].selected;
  return selected;
}

void WriteEntry(ExtractionRun& run, unzFile archive, EntryWriter& writer, size_t index) {
  const PlannedEntry& entry = run.entries[index];
  const auto fail = [&run, index](std::string message, std::string logLine) {
    run.progress.Fail({index, std::move(message), std::move(logLine)});
  };
  std::string name;
  if (unzGoToFilePos64(archive, &entry.position) != UNZ_OK || !ReadEntryName(archive, &name)) {
    return fail("read entry info fail", "read entry info fail");
  }
  // Checked again: the archive file could have been swapped since the first walk.
  if (LeadsOutsideDestination(name)) {
    const std::string message = "unsafe entry name: " + ShownName(name);
    return fail(message, message);
  }
  // Its folders were made for the name the walk read.
  if (name != entry.name) return fail("read entry info fail", "read entry info fail");

  std::string error;
  const EntryOutcome outcome =
      writer.Write(archive, ShownName(name), run.root + WithPlatformSeparators(name),
                   run.durability, error, [&run, index] { return !run.progress.Wanted(index); });
  if (outcome == EntryOutcome::Written) {
    run.progress.Written(index);
  } else if (outcome == EntryOutcome::Failed) {
    fail("extract file fail: " + ShownName(name), error);
  }
}

class ExtractionThread final : public platform::ThreadBody {
 public:
  explicit ExtractionThread(std::shared_ptr<ExtractionRun> run) : run_(std::move(run)) {}

  void Run() override {
    struct Ending {
      ExtractionRun& run;
      ~Ending() { run.progress.ThreadEnded(); }
    } ending{*run_};
    // A thread that cannot open the package leaves its share to the others and the caller.
    const ArchivePtr archive = OpenPackage(run_->zipPath);
    if (archive == nullptr) return;
    EntryWriter writer;
    RunJobs(*run_, static_cast<unzFile>(archive.get()), writer);
  }

 private:
  std::shared_ptr<ExtractionRun> run_;
};

}  // namespace

ExtractionRun::ExtractionRun(std::string zipPath, std::string root, UnzipDurability durability,
                             std::vector<PlannedEntry> plannedEntries)
    : zipPath(std::move(zipPath)),
      root(std::move(root)),
      durability(durability),
      entries(std::move(plannedEntries)),
      jobs(LinkSameFiles(entries)),
      progress(SelectedOf(entries), jobs.size()) {}

void RunJobs(ExtractionRun& run, unzFile archive, EntryWriter& writer,
             const std::function<void()>& afterEntry) {
  while (const std::optional<size_t> job = run.progress.TakeJob()) {
    // Jobs come in archive order: once one lies past a failure, every later one does too.
    if (!run.progress.Wanted(run.jobs[*job])) return;
    for (long long index = static_cast<long long>(run.jobs[*job]); index >= 0;
         index = run.entries[static_cast<size_t>(index)].nextSameFile) {
      const auto at = static_cast<size_t>(index);
      if (!run.progress.Wanted(at)) break;
      try {
        WriteEntry(run, archive, writer, at);
      } catch (const std::exception& e) {
        // Out of memory, most likely: this entry fails, as it would on one thread.
        run.progress.Fail({at, "extract file fail: " + ShownName(run.entries[at].name), e.what()});
      }
      if (afterEntry) afterEntry();
    }
  }
}

unsigned StartExtractionThreads(const std::shared_ptr<ExtractionRun>& run, unsigned count) {
  unsigned started = 0;
  for (; started < count; ++started) {
    run->progress.ThreadStarted();
    try {
      platform::StartDetachedThread(std::make_unique<ExtractionThread>(run));
    } catch (const std::exception&) {
      // No more threads to be had: those running, or the caller, do the rest.
      run->progress.ThreadEnded();
      break;
    }
  }
  return started;
}
