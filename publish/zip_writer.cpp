#include "publish/zip_writer.h"

#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
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

// Deflate's worst case for data that does not compress (zlib's deflateBound).
uint64_t DeflateBound(uint64_t bytes) {
  return bytes + (bytes >> 12) + (bytes >> 14) + (bytes >> 25) + 13;
}

// Whether deflate makes the file smaller: the local header fixes the method before the data is
// written, so the file is deflated once into nothing first. Flushed at each chunk, the count
// covers all input so far, and the pass ends as soon as the rest could not undo the gain (a
// well compressing file of gigabytes costs a few chunks). Nothing when the file cannot be read.
std::optional<bool> DeflateShrinks(const GameEntry& entry, std::vector<char>& buffer,
                                   const std::function<bool()>& onChunk) {
  FilePtr in(std::fopen(entry.path.c_str(), "rb"));
  if (in == nullptr) return std::nullopt;
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    return std::nullopt;
  }
  std::vector<unsigned char> out(kChunkBytes);
  uint64_t consumed = 0;
  uint64_t produced = 0;
  std::optional<bool> shrinks;
  bool stopped = false;
  for (int flush = Z_SYNC_FLUSH; flush != Z_FINISH && !shrinks && !stopped;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (std::ferror(in.get()) != 0) break;
    consumed += got;
    flush = consumed >= entry.bytes || got == 0 ? Z_FINISH : Z_SYNC_FLUSH;
    stream.next_in = reinterpret_cast<unsigned char*>(buffer.data());
    stream.avail_in = static_cast<unsigned>(got);
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<unsigned>(out.size());
      deflate(&stream, flush);
      produced += out.size() - stream.avail_out;
    } while (stream.avail_out == 0);
    if (flush == Z_FINISH) {
      shrinks = produced < entry.bytes;
    } else if (produced + DeflateBound(entry.bytes - consumed) < entry.bytes) {
      shrinks = true;
    }
    stopped = onChunk && !onChunk();
  }
  deflateEnd(&stream);
  return stopped ? std::nullopt : shrinks;
}

}  // namespace

bool EntryNeedsZip64(uint64_t bytes) {
  // zlib's deflateBound for the default settings: stored blocks' headers on data that does not
  // compress. The sizes are fixed in the local header before the data is written.
  return DeflateBound(bytes) >= 0xFFFFFFFFull;
}

bool WritePackage(const std::string& zipPath, const std::vector<GameEntry>& entries,
                  const PackProgress& progress, std::string* error) {
  std::unique_ptr<void, ZipCloser> archive(zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE));
  if (archive == nullptr) {
    *error = "cannot create " + zipPath + ": " + std::strerror(errno);
    return false;
  }
  const zipFile zip = static_cast<zipFile>(archive.get());
  std::vector<char> buffer(kChunkBytes);
  uint64_t done = 0;
  for (const GameEntry& entry : entries) {
    const zip_fileinfo info = FixedInfo(entry);
    // Stored when deflate does not shrink it: no bigger package, and no inflate for players.
    bool deflated = false;
    if (!entry.folder) {
      bool stopped = false;
      const std::optional<bool> shrinks =
          DeflateShrinks(entry, buffer, [&progress, &stopped, done] {
            stopped = progress && !progress(done);
            return !stopped;
          });
      if (!shrinks) {
        *error =
            stopped ? "interrupted" : "cannot read " + entry.path + ": " + std::strerror(errno);
        return false;
      }
      deflated = *shrinks;
    }
    const int method = deflated ? Z_DEFLATED : 0;
    const int level = deflated ? Z_DEFAULT_COMPRESSION : 0;
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
        *error = "cannot read " + entry.path + ": " + std::strerror(errno);
        return false;
      }
      uint64_t copied = 0;
      for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got == 0) break;
        if (zipWriteInFileInZip(zip, buffer.data(), static_cast<unsigned>(got)) != ZIP_OK) {
          *error = "cannot write " + zipPath + ": " + std::strerror(errno);
          return false;
        }
        copied += got;
        done += got;
        if (progress && !progress(done)) {
          *error = "interrupted";
          return false;
        }
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
    *error = "cannot finish " + zipPath + ": " + std::strerror(errno);
    return false;
  }
  return MarkEntriesMadeOnUnix(zipPath, error);
}
