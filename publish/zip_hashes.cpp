#include "publish/zip_hashes.h"

#include <cstdio>

#include "core/strings.h"
#include "fs/stdio_file.h"
#include "install/zip_directory.h"
#include "platform/file_seek.h"
#include "platform/sha256.h"
#include "publish/package_digest.h"

namespace {

// Feeds size bytes of the file from offset on into the hash.
bool HashRange(std::FILE* file, uint64_t offset, uint64_t size, platform::Sha256& hash,
               std::vector<unsigned char>& buffer) {
  if (!platform::SeekFromStart(file, offset)) return false;
  std::string failure;
  while (size > 0) {
    const size_t want = size < buffer.size() ? static_cast<size_t>(size) : buffer.size();
    if (std::fread(buffer.data(), 1, want, file) != want) return false;
    if (!hash.Update(buffer.data(), want, &failure)) return false;
    size -= want;
  }
  return true;
}

std::optional<std::string> Hex(platform::Sha256& hash) {
  platform::Sha256::Digest digest{};
  std::string failure;
  if (!hash.Finish(&digest, &failure)) return std::nullopt;
  return LowerHex(digest.data(), digest.size());
}

}  // namespace

std::optional<ZipHashes> HashZipParts(const std::string& path) {
  const std::optional<std::vector<ZipDirectoryEntry>> entries = ReadZipDirectoryOfFile(path);
  if (!entries) return std::nullopt;
  ZipHashes hashes;
  platform::Sha256 hash;
  std::string failure;
  // The records follow each other without a gap: together they are the directory's bytes.
  if (!hash.Begin(&failure)) return std::nullopt;
  for (const ZipDirectoryEntry& entry : *entries) {
    if (!hash.Update(entry.centralRecord.data(), entry.centralRecord.size(), &failure)) {
      return std::nullopt;
    }
  }
  std::optional<std::string> directory = Hex(hash);
  if (!directory) return std::nullopt;
  hashes.directorySha256 = std::move(*directory);

  const FilePtr file(std::fopen(path.c_str(), "rb"));
  if (file == nullptr) return std::nullopt;
  std::vector<unsigned char> buffer(1 << 20);
  for (const ZipDirectoryEntry& entry : *entries) {
    if (!hash.Begin(&failure) ||
        !HashRange(file.get(), entry.spanStart, entry.spanEnd - entry.spanStart, hash, buffer)) {
      return std::nullopt;
    }
    std::optional<std::string> span = Hex(hash);
    if (!span) return std::nullopt;
    hashes.entrySha256.emplace_back(entry.name, std::move(*span));
  }
  return hashes;
}
