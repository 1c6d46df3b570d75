#pragma once
// What an extraction writes once the package's directory was walked: the entries, the jobs the
// threads take them in, and how many threads share the jobs.

#include <unzip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PlannedEntry {
  std::string name;           // UTF-8, as the archive stores it
  unz64_file_pos position{};  // its central record, for any handle on the package to go to
  uint64_t declaredBytes = 0;
  bool selected = true;
  // The next selected entry that writes the same file, or -1. The thread that writes this entry
  // writes that one after it, so the archive's order decides which bytes the file keeps.
  long long nextSameFile = -1;
};

// Entries that write a file; the others make folders only.
bool WritesFile(const PlannedEntry& entry);

// Marks the entries the caller asked for (an empty selection: all; indexes past its end: not
// selected) and returns how many are selected.
long long ApplySelection(std::vector<PlannedEntry>& entries, const std::vector<bool>& selection);

// Links the selected entries that write one file (by FileSystemKey) and returns the jobs: the
// first entry of each file, in archive order.
std::vector<size_t> LinkSameFiles(std::vector<PlannedEntry>& entries);

inline constexpr unsigned kMaxExtractionThreads = 8;

// Threads worth starting for the selected entries: the number asked for (0: the machine's
// cores), at most kMaxExtractionThreads and one per job, and, when the number was not asked for,
// no more than the work keeps busy. At least one.
unsigned ExtractionThreads(unsigned requested, unsigned cores, const std::vector<PlannedEntry>& entries,
                           size_t jobs);
