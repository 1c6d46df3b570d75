#pragma once
// One extraction's entries written by several threads, each on a handle of its own on the
// package and with buffers of its own, so memory stays bounded by the thread count.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "install/extraction_plan.h"
#include "install/extraction_progress.h"
#include "install/package_archive.h"
#include "install/zip_util.h"

struct ExtractionRun {
  ExtractionRun(std::string zipPath, std::string root, UnzipDurability durability,
                std::vector<PlannedEntry> plannedEntries);

  const std::string zipPath;
  const std::string root;  // the destination in the UTF-8 form, ending in a separator
  const UnzipDurability durability;
  std::vector<PlannedEntry> entries;
  const std::vector<size_t> jobs;  // set before progress, which counts them
  ExtractionProgress progress;
};

// Takes jobs until none is left or an earlier entry failed, writing them through archive (any
// open handle on the package); afterEntry runs after each entry.
void RunJobs(ExtractionRun& run, unzFile archive, EntryWriter& writer,
             const std::function<void()>& afterEntry = {});

// Starts up to count threads that run jobs until none is left, and returns how many started.
// Each ends by ThreadEnded, after its handle on the package is closed.
unsigned StartExtractionThreads(const std::shared_ptr<ExtractionRun>& run, unsigned count);
