#include "install/extraction_plan.h"

#include <algorithm>
#include <unordered_map>

#include "install/installed_path.h"
#include "install/zip_util.h"

namespace {

// A thread pays for its start and its own handle on the package, and each file for its creation
// (far more on Windows, where scanners look at every new file): below a few milliseconds of
// inflating per thread, more threads only cost.
constexpr uint64_t kWorkPerThread = 4u << 20;
constexpr uint64_t kWorkPerFile = 256u << 10;

}  // namespace

bool WritesFile(const PlannedEntry& entry) { return !FilePartOf(entry.name).empty(); }

long long ApplySelection(std::vector<PlannedEntry>& entries, const std::vector<bool>& selection) {
  long long count = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].selected = selection.empty() || (i < selection.size() && selection[i]);
    if (entries[i].selected) ++count;
  }
  return count;
}

std::vector<size_t> LinkSameFiles(std::vector<PlannedEntry>& entries) {
  std::vector<size_t> jobs;
  std::unordered_map<std::string, size_t> lastOfFile;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].selected || !WritesFile(entries[i])) continue;
    const auto [last, first] = lastOfFile.try_emplace(FileSystemKey(entries[i].name), i);
    if (first) {
      jobs.push_back(i);
    } else {
      entries[last->second].nextSameFile = static_cast<long long>(i);
      last->second = i;
    }
  }
  return jobs;
}

unsigned ExtractionThreads(unsigned requested, unsigned cores, const std::vector<PlannedEntry>& entries,
                           size_t jobs) {
  uint64_t threads = requested != 0 ? requested : cores;
  if (requested == 0) {
    // Counted only up to what would keep every thread busy: declared sizes may be forged.
    constexpr uint64_t kEnough = kWorkPerThread * kMaxExtractionThreads;
    uint64_t work = 0;
    for (size_t i = 0; i < entries.size() && work < kEnough; ++i) {
      if (entries[i].selected && WritesFile(entries[i])) {
        work += std::min(entries[i].declaredBytes, kEnough) + kWorkPerFile;
      }
    }
    threads = std::min<uint64_t>(threads, work / kWorkPerThread);
  }
  threads = std::min<uint64_t>({threads, kMaxExtractionThreads, jobs});
  return static_cast<unsigned>(std::max<uint64_t>(threads, 1));
}
