#include "publish/zip_writer.h"

#include <zip.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "fs/stdio_file.h"
#include "publish/zip_origin.h"

namespace {

constexpr size_t kChunkBytes = 1 << 20;
// "Version made by": Unix (3) in the high byte, so readers take the mode from the high half of
// the external attributes; 2.0 in the low byte, as a plain deflated entry needs.
constexpr unsigned long kMadeByUnix = (3u << 8) | 20u;
// General-purpose flag bit 11: the name is UTF-8.
constexpr unsigned long kUtf8NameFlag = 1u << 11;
constexpr unsigned long kUnixFile = 0100000;
constexpr unsigned long kUnixFolder = 0040000;
constexpr unsigned long kDosFolder = 0x10;

struct ZipCloser {
  void operator()(void* archive) const { zipClose(static_cast<zipFile>(archive), nullptr); }
};

zip_fileinfo FixedInfo(const GameEntry& entry) {
  zip_fileinfo info{};
  // A fixed date: the same folder packed on another day gives the same bytes.
  info.tmz_date.tm_year = 1980;
  info.tmz_date.tm_mon = 0;
  info.tmz_date.tm_mday = 1;
  info.dosDate = 0;  // minizip then takes tmz_date
  info.internal_fa = 0;
  const unsigned long type = entry.folder ? kUnixFolder : kUnixFile;
  info.external_fa = ((type | entry.mode) << 16) | (entry.folder ? kDosFolder : 0);
  return info;
}

}  // namespace

bool EntryNeedsZip64(uint64_t bytes) {
  // zlib's deflateBound for the default settings: stored blocks' headers on data that does not
  // compress. The sizes are fixed in the local header before the data is written.
  const uint64_t worst = bytes + (bytes >> 12) + (bytes >> 14) + (bytes >> 25) + 13;
  return worst >= 0xFFFFFFFFull;
}

bool WritePackage(const std::string& zipPath, const std::vector<GameEntry>& entries,
                  const PackProgress& progress, std::string* error) {
  std::unique_ptr<void, ZipCloser> archive(zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE));
  if (archive == nullptr) {
    *error = "cannot create " + zipPath;
    return false;
  }
  const zipFile zip = static_cast<zipFile>(archive.get());
  std::vector<char> buffer(kChunkBytes);
  uint64_t done = 0;
  for (const GameEntry& entry : entries) {
    const zip_fileinfo info = FixedInfo(entry);
    const int method = entry.folder ? 0 : Z_DEFLATED;
    const int level = entry.folder ? 0 : Z_DEFAULT_COMPRESSION;
    const int zip64 = EntryNeedsZip64(entry.bytes) ? 1 : 0;
    if (zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                method, level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, kMadeByUnix, kUtf8NameFlag, zip64) != ZIP_OK) {
      *error = "cannot add " + entry.name + " to " + zipPath;
      return false;
    }
    if (!entry.folder) {
      FilePtr in(std::fopen(entry.path.c_str(), "rb"));
      if (in == nullptr) {
        *error = "cannot read " + entry.path;
        return false;
      }
      uint64_t copied = 0;
      for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got == 0) break;
        if (zipWriteInFileInZip(zip, buffer.data(), static_cast<unsigned>(got)) != ZIP_OK) {
          *error = "cannot write " + zipPath;
          return false;
        }
        copied += got;
        done += got;
        if (progress) progress(done);
      }
      if (std::ferror(in.get()) != 0 || copied != entry.bytes) {
        // A file that changed while it was packed would not match the list made before.
        *error = "read " + std::to_string(copied) + " of " + std::to_string(entry.bytes) +
                 " bytes of " + entry.path;
        return false;
      }
    }
    if (zipCloseFileInZip(zip) != ZIP_OK) {
      *error = "cannot finish " + entry.name + " in " + zipPath;
      return false;
    }
  }
  const int closed = zipClose(static_cast<zipFile>(archive.release()), nullptr);
  if (closed != ZIP_OK) {
    *error = "cannot finish " + zipPath;
    return false;
  }
  return MarkEntriesMadeOnUnix(zipPath, error);
}
