#include "publish/zip_hashes.h"

#include <algorithm>
#include <numeric>

#include "core/strings.h"
#include "fs/stdio_file.h"
#include "install/zip_directory.h"
#include "platform/file_seek.h"
#include "platform/sha256.h"
#include "publish/package_digest.h"

namespace {

std::optional<std::string> Hex(platform::Sha256& hash) {
  platform::Sha256::Digest digest{};
  std::string failure;
  if (!hash.Finish(&digest, &failure)) return std::nullopt;
  return LowerHex(digest.data(), digest.size());
}

}  // namespace

ZipPartHasher::ZipPartHasher(std::vector<ZipDirectoryEntry> directory)
    : directory_(std::move(directory)), order_(directory_.size()), spanSha256_(directory_.size()) {
  std::iota(order_.begin(), order_.end(), size_t{0});
  std::sort(order_.begin(), order_.end(), [this](size_t a, size_t b) {
    return directory_[a].spanStart < directory_[b].spanStart;
  });
}

void ZipPartHasher::Feed(const unsigned char* bytes, size_t size) {
  std::string failure;
  while (size > 0 && current_ < order_.size() && !failed_) {
    const ZipDirectoryEntry& span = directory_[order_[current_]];
    if (position_ < span.spanStart) {
      // Bytes before the first local header belong to no entry.
      const size_t skipped =
          static_cast<size_t>(std::min<uint64_t>(size, span.spanStart - position_));
      bytes += skipped, size -= skipped, position_ += skipped;
      continue;
    }
    if (position_ == span.spanStart && !hash_.Begin(&failure)) failed_ = true;
    const size_t taken = static_cast<size_t>(std::min<uint64_t>(size, span.spanEnd - position_));
    if (!failed_ && !hash_.Update(bytes, taken, &failure)) failed_ = true;
    bytes += taken, size -= taken, position_ += taken;
    if (!failed_ && position_ == span.spanEnd) {
      std::optional<std::string> digest = Hex(hash_);
      if (!digest) failed_ = true;
      spanSha256_[order_[current_++]] = digest.value_or("");
    }
  }
}

std::optional<ZipHashes> ZipPartHasher::Finish() {
  if (failed_ || current_ < order_.size()) return std::nullopt;
  ZipHashes hashes;
  // The records follow each other without a gap: together they are the directory's bytes.
  std::string failure;
  if (!hash_.Begin(&failure)) return std::nullopt;
  for (const ZipDirectoryEntry& entry : directory_) {
    if (!hash_.Update(entry.centralRecord.data(), entry.centralRecord.size(), &failure)) {
      return std::nullopt;
    }
  }
  std::optional<std::string> directory = Hex(hash_);
  if (!directory) return std::nullopt;
  hashes.directorySha256 = std::move(*directory);
  for (size_t i = 0; i < directory_.size(); ++i) {
    hashes.entrySha256.emplace_back(directory_[i].name, spanSha256_[i]);
  }
  return hashes;
}
