#include "install/delta_plan.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "install/installed_path.h"
#include "platform/utf8_files.h"

namespace {

bool StillInstalled(const ZipDirectoryEntry& entry, const ManifestEntry* known,
                    const std::string& installDir) {
  const std::optional<std::string> path = InstalledPathOf(installDir, entry.name);
  if (!path) return false;
  if (IsFolderEntry(entry.name)) return platform::utf8::DirectoryExists(*path);
  if (known == nullptr || known->crc32 != entry.crc32 ||
      known->uncompressedBytes != entry.uncompressedBytes) {
    return false;
  }
  // Anything that wrote to the file since the install moved its time, if not its size.
  const std::optional<platform::utf8::FileStamp> stamp = platform::utf8::FileSizeAndTime(*path);
  if (!stamp || stamp->bytes != known->installedBytes || stamp->mtimeNs != known->installedMtime) {
    return false;
  }
  // A release may change only a program's mode, which the CRC-32 does not see.
  const std::optional<bool> executable = platform::utf8::IsMarkedExecutable(*path);
  return !executable || *executable == EntryMarksExecutable(entry);
}

}  // namespace

DeltaPlan PlanDelta(const std::vector<ZipDirectoryEntry>& directory,
                    const std::vector<ManifestEntry>& manifest, const std::string& installDir,
                    uint64_t mergeGapBytes) {
  // A file the manifest gives twice says nothing certain about it; names are compared as the
  // file system sees them ("a/b", "./a//b", and on Windows "A\\b" are one file).
  std::unordered_map<std::string, const ManifestEntry*> known;
  for (const ManifestEntry& entry : manifest) {
    const auto [it, added] = known.emplace(FileSystemKey(entry.name), &entry);
    if (!added) it->second = nullptr;
  }
  // Two entries for one file leave whichever the extraction wrote last: neither is kept.
  std::unordered_map<std::string, int> uses;
  for (const ZipDirectoryEntry& entry : directory) ++uses[FileSystemKey(entry.name)];
  DeltaPlan plan;
  for (size_t i = 0; i < directory.size(); ++i) {
    const std::string key = FileSystemKey(directory[i].name);
    const auto it = known.find(key);
    const ManifestEntry* line = it == known.end() ? nullptr : it->second;
    if (uses[key] == 1 && StillInstalled(directory[i], line, installDir)) {
      ++plan.kept;
      if (line != nullptr && !IsFolderEntry(directory[i].name)) {
        plan.keptFiles.push_back(*line);
        plan.keptFiles.back().name = directory[i].name;
      }
    } else {
      plan.fetched.push_back(i);
    }
  }

  std::vector<ByteRange> spans;
  spans.reserve(plan.fetched.size());
  for (size_t i : plan.fetched) spans.push_back({directory[i].spanStart, directory[i].spanEnd});
  std::sort(spans.begin(), spans.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
  for (const ByteRange& span : spans) {
    // One request costs a round trip; a few kilobytes between two spans cost less.
    if (!plan.ranges.empty() && span.start >= plan.ranges.back().end &&
        span.start - plan.ranges.back().end <= mergeGapBytes) {
      plan.ranges.back().end = std::max(plan.ranges.back().end, span.end);
    } else {
      plan.ranges.push_back(span);
    }
  }
  for (const ByteRange& range : plan.ranges) plan.rangeBytes += range.end - range.start;
  return plan;
}
