#include "net/package_parts.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "fs/text_file.h"
#include "platform/files.h"

namespace {

constexpr const char* kHeader = "tidewake-parts 1";

}  // namespace

void ByteRanges::Add(uint64_t start, uint64_t end) {
  if (start >= end) return;
  auto next = ranges_.upper_bound(start);
  if (next != ranges_.begin()) {
    auto previous = std::prev(next);
    if (previous->second >= start) {
      start = previous->first;
      end = std::max(end, previous->second);
      ranges_.erase(previous);
    }
  }
  while (next != ranges_.end() && next->first <= end) {
    end = std::max(end, next->second);
    next = ranges_.erase(next);
  }
  ranges_.emplace(start, end);
}

uint64_t ByteRanges::EndOfRunFrom(uint64_t from) const {
  auto next = ranges_.upper_bound(from);
  if (next == ranges_.begin()) return from;
  const auto& covering = *std::prev(next);
  return covering.second > from ? covering.second : from;
}

std::pair<uint64_t, uint64_t> ByteRanges::FirstGap(uint64_t from, uint64_t limit) const {
  const uint64_t start = EndOfRunFrom(from);
  if (start >= limit) return {limit, limit};
  auto next = ranges_.upper_bound(start);
  const uint64_t end = next == ranges_.end() ? limit : std::min(limit, next->first);
  return {start, end};
}

uint64_t ByteRanges::CoveredBytes() const {
  uint64_t total = 0;
  for (const auto& [start, end] : ranges_) total += end - start;
  return total;
}

std::string PackagePartsPath(const std::string& packagePath) { return packagePath + ".parts"; }

std::optional<PackageParts> ReadPackageParts(const std::string& packagePath) {
  const std::string path = PackagePartsPath(packagePath);
  if (!platform::PathExists(path)) return std::nullopt;
  std::istringstream in(ReadTextFile(path));
  std::string header;
  if (!std::getline(in, header) || header != kHeader) return std::nullopt;
  PackageParts parts;
  std::string word;
  if (!(in >> word >> parts.packageBytes) || word != "size") return std::nullopt;
  uint64_t start = 0;
  uint64_t end = 0;
  while (in >> word >> start >> end) {
    if (word != "range" || start >= end || end > parts.packageBytes) return std::nullopt;
    parts.written.Add(start, end);
  }
  if (!in.eof()) return std::nullopt;
  return parts;
}

bool SavePackageParts(const std::string& packagePath, const PackageParts& parts) {
  std::string text = std::string(kHeader) + "\nsize " + std::to_string(parts.packageBytes) + "\n";
  for (const auto& [start, end] : parts.written.Ranges()) {
    text += "range " + std::to_string(start) + " " + std::to_string(end) + "\n";
  }
  return WriteTextFile(PackagePartsPath(packagePath), text);
}

std::optional<uint64_t> KeptPackageBytes(const std::string& packagePath, uint64_t zipBytes) {
  const std::optional<PackageParts> parts = ReadPackageParts(packagePath);
  if (!parts || parts->packageBytes != zipBytes) return std::nullopt;
  return parts->written.CoveredBytes();
}
