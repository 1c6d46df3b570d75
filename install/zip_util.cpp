#include "install/zip_util.h"

#include <unzip.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fs/locked_file_retry.h"
#include "fs/safe_path.h"
#include "fs/stdio_file.h"
#include "install/empty_archive.h"
#include "net/worker.h"
#include "platform/diagnostics.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "platform/utf8_files.h"

namespace {

// Entry names longer than 511 bytes do not fit; they are refused rather than cut short, since a
// shortened name would write a file under a name the publisher never gave.
constexpr unsigned kNameBufferBytes = kMaxEntryNameBytes + 1;
constexpr unsigned kCopyBufferBytes = 8192;

// Archive names use either separator; the one the platform does not know must be turned into its
// own so that "x\y.txt" lands in the folder x everywhere.
constexpr char kForeignSeparator = platform::kPathSeparator == '/' ? '\\' : '/';

void Log(const std::string& line) { platform::Diagnostic("%s\n", line.c_str()); }

// minizip's stdio calls, but the package opened by the platform: a path past MAX_PATH opens too.
zlib_filefunc64_def PackageFileCalls() {
  zlib_filefunc64_def calls{};
  fill_fopen64_filefunc(&calls);
  calls.zopen64_file = [](voidpf, const void* path, int mode) -> voidpf {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    return platform::OpenFile(static_cast<const char*>(path), "rb");
  };
  return calls;
}

std::string WithPlatformSeparators(std::string text) {
  for (char& c : text) {
    if (c == kForeignSeparator) c = platform::kPathSeparator;
  }
  return text;
}

// Paths below the destination are in the UTF-8 form of platform/utf8_files.h: an entry name
// outside the system's code page is still written under its own characters.
bool MakeOneDirectory(const std::string& path) {
  return platform::utf8::MakeDirectory(path) != platform::MakeDirResult::Failed;
}

// Log lines, events and failure texts name entries and paths in the narrow encoding, as the rest
// of the launcher's texts.
std::string Shown(const std::string& utf8) { return platform::Utf8ToNarrow(utf8); }

struct ArchiveCloser {
  void operator()(void* archive) const { unzClose(static_cast<unzFile>(archive)); }
};
// The open archive, closed on every way out of the extraction.
using ArchivePtr = std::unique_ptr<void, ArchiveCloser>;

// The archive's current entry, open for reading and closed on every way out. Close says what
// minizip found at the end: the CRC-32 is compared only there, once the whole entry was read.
class OpenEntry {
 public:
  explicit OpenEntry(unzFile archive)
      : archive_(unzOpenCurrentFile(archive) == UNZ_OK ? archive : nullptr) {}
  ~OpenEntry() {
    if (archive_ != nullptr) unzCloseCurrentFile(archive_);
  }
  OpenEntry(const OpenEntry&) = delete;
  OpenEntry& operator=(const OpenEntry&) = delete;

  bool IsOpen() const { return archive_ != nullptr; }
  int Close() {
    const int result = unzCloseCurrentFile(archive_);
    archive_ = nullptr;
    return result;
  }

 private:
  unzFile archive_;
};

// The current entry's name, and the size it declares. Stored names are always taken as UTF-8,
// whatever the entry's flags claim, because the publisher's packer writes UTF-8; they stay UTF-8
// up to the file calls. Split at separators as UTF-8, a name cannot be cut inside a character
// (a GBK character's second byte can be a backslash).
bool ReadEntryName(unzFile archive, std::string* name, uint64_t* declaredBytes = nullptr) {
  char buffer[kNameBufferBytes] = {};
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(archive, &info, buffer, kNameBufferBytes, nullptr, 0, nullptr, 0) !=
      UNZ_OK) {
    return false;
  }
  if (info.size_filename >= kNameBufferBytes) return false;
  *name = std::string(buffer);
  if (declaredBytes != nullptr) *declaredBytes = info.uncompressed_size;
  return true;
}

class Extraction {
 public:
  Extraction(const std::string& zipPath, const std::string& destDir, const UnzipCallback& callback,
             UnzipDurability durability)
      : zipPath_(zipPath), destination_(destDir), callback_(callback), durability_(durability) {
    if (!destination_.empty()) {
      char& last = destination_.back();
      if (last == kForeignSeparator) {
        last = platform::kPathSeparator;
      } else if (last != platform::kPathSeparator) {
        destination_ += platform::kPathSeparator;
      }
    }
    root_ = platform::utf8::FromNarrow(destination_);
  }

  bool Run() {
    if (!MakeOneDirectory(root_)) {
      return Fail("create directory fail: " + destination_, 0, false);
    }
    zlib_filefunc64_def calls = PackageFileCalls();
    archive_.reset(unzOpen2_64(zipPath_.c_str(), &calls));
    if (archive_ == nullptr && IsEmptyZipArchive(zipPath_)) return SucceedEmpty();
    unz_global_info64 global{};
    if (archive_ == nullptr || unzGetGlobalInfo64(Archive(), &global) != UNZ_OK) {
      return Fail("open zip file fail: " + zipPath_, 0, true);
    }
    count_ = static_cast<long long>(global.number_entry);
    Log("start unzip");

    if (!CheckAllEntries()) return false;
    for (long long i = 0; i < count_; ++i) {
      if (!ExtractEntry(i)) return false;
    }
    // Before "succ", which clears the pending-install mark: the files must be on the disk by
    // then. Numbered after the last entry, since no one entry failed.
    if (durability_ == UnzipDurability::OnDisk && !platform::SyncFileSystem(destination_)) {
      return Fail("sync unzip files fail: " + destination_, count_, true);
    }

    Log("end unzip");
    archive_.reset();
    Send("succ", "", count_, count_);
    return true;
  }

 private:
  bool SucceedEmpty() {
    Log("start unzip");
    Log("end unzip");
    Send("succ", "", 0, 0);
    return true;
  }

  // A first walk over the central directory, so that an archive holding one name that would
  // escape the destination, or more bytes than the disk has room for, writes nothing at all.
  bool CheckAllEntries() {
    if (count_ == 0) return true;
    std::string name;
    uint64_t declared = 0;
    uint64_t needed = 0;
    uint64_t replaced = 0;
    for (long long i = 0; i < count_; ++i) {
      if (!ReadEntryName(Archive(), &name, &declared)) return Fail("read entry info fail", i, true);
      if (LeadsOutsideDestination(name)) return Fail("unsafe entry name: " + Shown(name), i, true);
      if (!FilePartOf(name).empty()) {
        // Saturating: a forged size must not wrap around into a small need.
        needed = declared > UINT64_MAX - needed ? UINT64_MAX : needed + declared;
        // Opening an existing file for writing empties it first, giving its room back.
        replaced += platform::utf8::FileSize(root_ + WithPlatformSeparators(name));
      }
      if (!MoveToNext(i, name)) return false;
    }
    needed = needed > replaced ? needed - replaced : 0;
    const std::optional<uint64_t> free = platform::FreeDiskBytes(destination_);
    if (free.has_value() && needed > *free) {
      return Fail("not enough disk space: " + std::to_string(needed) + " bytes needed, " +
                      std::to_string(*free) + " free",
                  0, true);
    }
    if (unzGoToFirstFile(Archive()) != UNZ_OK) {
      return Fail("read entry info fail", 0, true);
    }
    return true;
  }

  bool ExtractEntry(long long i) {
    std::string name;
    if (!ReadEntryName(Archive(), &name)) return Fail("read entry info fail", i, true);
    // Checked again: the archive file could have been swapped since the first walk.
    if (LeadsOutsideDestination(name)) return Fail("unsafe entry name: " + Shown(name), i, true);

    const std::string dirPart = DirPartOf(name);
    if (!dirPart.empty()) {
      std::string path = root_;
      for (const std::string& piece : SplitDirComponents(dirPart)) {
        path += WithPlatformSeparators(piece);
        if (!MakeDirectoryOnce(path)) return Fail("create directory fail: " + Shown(path), i, false);
      }
      lastDirectory_ = path;
    }

    if (!FilePartOf(name).empty()) {
      std::string error;
      const std::string outPath = root_ + WithPlatformSeparators(name);
      if (!ZipUtil::ExtractCurrentEntry(Archive(), Shown(name), outPath, error, durability_)) {
        return Fail("extract file fail: " + Shown(name), i, false);
      }
    }

    Send("unzip", Shown(name), i + 1, count_);
    return MoveToNext(i, name);
  }

  bool MoveToNext(long long i, const std::string& name) {
    if (i + 1 >= count_) return true;
    if (unzGoToNextFile(Archive()) != UNZ_OK) {
      return Fail("cannont read next file: " + Shown(name), i, true);
    }
    return true;
  }

  // Archives list their files folder by folder, so the folders of the previous entry are
  // usually the ones this entry needs; they were made moments ago and nothing else writes into
  // the destination, so asking the file system again for each entry would only cost time.
  bool MakeDirectoryOnce(const std::string& path) const {
    if (lastDirectory_.compare(0, path.size(), path) == 0) return true;
    return MakeOneDirectory(path);
  }

  bool Fail(const std::string& message, long long index, bool logged) {
    if (logged) Log(message);
    Send("fail", message, index, archive_ != nullptr ? count_ : 0);
    archive_.reset();
    return false;
  }

  void Send(const std::string& event, const std::string& message, long long first,
            long long second) const {
    if (callback_) callback_(event, message, first, second);
  }

  unzFile Archive() const { return static_cast<unzFile>(archive_.get()); }

  const std::string& zipPath_;
  std::string destination_;  // narrow; ends in a separator unless empty
  std::string root_;         // the destination in the UTF-8 form
  const UnzipCallback& callback_;
  const UnzipDurability durability_;
  ArchivePtr archive_;
  long long count_ = 0;
  std::string lastDirectory_;
};

}  // namespace

bool ZipUtil::Unzip(const std::string& zipPath, const std::string& destDir,
                    const UnzipCallback& callback, UnzipDurability durability) {
  return Extraction(zipPath, destDir, callback, durability).Run();
}

bool ZipUtil::ExtractCurrentEntry(void* archive, const std::string& name,
                                  const std::string& outPath, std::string& error,
                                  UnzipDurability durability) {
  const unzFile zip = static_cast<unzFile>(archive);
  const auto fail = [&error](std::string message) {
    error = std::move(message);
    Log(error);
    return false;
  };

  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return fail("open inzip file fail: " + name);
  }
  // Packers on Unix record the file mode in the high half of the external attributes.
  const bool unixProgram = (info.version >> 8) == 3 && ((info.external_fa >> 16) & 0111) != 0;

  OpenEntry entry(zip);
  if (!entry.IsOpen()) return fail("open inzip file fail: " + name);
  // Only the opening is made again while the file is held: the entry stays open for reading.
  FilePtr out;
  RetryWhileHeld("open unzip file", outPath, [&out, &outPath] {
    out.reset(platform::utf8::OpenForWriting(outPath));
    return out != nullptr;
  });
  if (out == nullptr) return fail("open unzip file fail: " + name);

  char buffer[kCopyBufferBytes];
  uint64_t copied = 0;
  for (;;) {
    const int read = unzReadCurrentFile(zip, buffer, kCopyBufferBytes);
    if (read == 0) break;
    if (read < 0) return fail("read current file fail: " + name);
    // A short write (a full disk) would leave a cut file that passes for a good one.
    if (std::fwrite(buffer, 1, static_cast<size_t>(read), out.get()) != static_cast<size_t>(read)) {
      return fail("write unzip file fail: " + name);
    }
    copied += static_cast<uint64_t>(read);
  }

  const bool flushed =
      durability == UnzipDurability::InCache || platform::FlushFileToDisk(out.get());
  const bool written = CloseFile(out) && flushed;
  // minizip compares the CRC-32 only when exactly the declared number of bytes came out, so a
  // deflate stream that ends early would pass as a good, short file without the count.
  const int closed = entry.Close();
  if (!written) return fail("write unzip file fail: " + name);
  if (copied != info.uncompressed_size) return fail("size check fail: " + name);
  // A CRC mismatch means the file on disk is not what the publisher packed.
  if (closed == UNZ_CRCERROR) return fail("crc check fail: " + name);
  if (unixProgram) platform::utf8::MarkExecutable(outPath);
  return true;
}

void ZipUtil::StartUnzip(UnzipTask task) {
  StartWorker(std::move(task),
              [](UnzipTask& own) { Unzip(own.zipPath, own.destDir, own.callback); },
              [](UnzipTask& own, const std::string& what) {
                if (own.callback) own.callback("fail", what, 0, 0);
              });
}
