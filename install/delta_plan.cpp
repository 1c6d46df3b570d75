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
  return stamp && stamp->bytes == known->installedBytes && stamp->mtimeNs == known->installedMtime;
}

}  // namespace

DeltaPlan PlanDelta(const std::vector<ZipDirectoryEntry>& directory,
                    const std::vector<ManifestEntry>& manifest, const std::string& installDir,
                    uint64_t mergeGapBytes) {
  // A name the manifest gives twice says nothing certain about its file.
  std::unordered_map<std::string_view, const ManifestEntry*> known;
  for (const ManifestEntry& entry : manifest) {
    const auto [it, added] = known.emplace(entry.name, &entry);
    if (!added) it->second = nullptr;
  }
  DeltaPlan plan;
  for (size_t i = 0; i < directory.size(); ++i) {
    const auto it = known.find(directory[i].name);
    if (StillInstalled(directory[i], it == known.end() ? nullptr : it->second, installDir)) {
      ++plan.kept;
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
