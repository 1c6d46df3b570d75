#include "install/package_archive.h"

#include <cstdio>

#include "fs/locked_file_retry.h"
#include "fs/stdio_file.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "platform/utf8_files.h"

namespace {

// Entry names longer than 511 bytes do not fit; they are refused rather than cut short, since a
// shortened name would write a file under a name the publisher never gave.
constexpr unsigned kNameBufferBytes = kMaxEntryNameBytes + 1;
// Per thread; large enough that a big entry costs few calls into the inflater and the writes
// bypass the stream's own buffer.
constexpr unsigned kCopyBufferBytes = 64 * 1024;

constexpr char kForeignSeparator = platform::kPathSeparator == '/' ? '\\' : '/';

// minizip's stdio calls, but the package opened by the platform.
zlib_filefunc64_def PackageFileCalls() {
  zlib_filefunc64_def calls{};
  fill_fopen64_filefunc(&calls);
  calls.zopen64_file = [](voidpf, const void* path, int mode) -> voidpf {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    return platform::OpenFile(static_cast<const char*>(path), "rb");
  };
  return calls;
}

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

}  // namespace

std::string WithPlatformSeparators(std::string name) {
  for (char& c : name) {
    if (c == kForeignSeparator) c = platform::kPathSeparator;
  }
  return name;
}

std::string ShownName(const std::string& utf8) { return platform::Utf8ToNarrow(utf8); }

ArchivePtr OpenPackage(const std::string& zipPath) {
  zlib_filefunc64_def calls = PackageFileCalls();
  return ArchivePtr(unzOpen2_64(zipPath.c_str(), &calls));
}

bool ReadEntryName(unzFile archive, std::string* name, uint64_t* declaredBytes) {
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

EntryWriter::EntryWriter() : buffer_(kCopyBufferBytes) {}

EntryOutcome EntryWriter::Write(unzFile archive, const std::string& name,
                                const std::string& outPath, UnzipDurability durability,
                                std::string& error, const std::function<bool()>& abandon) {
  const auto fail = [&error](std::string message) {
    error = std::move(message);
    return EntryOutcome::Failed;
  };

  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return fail("open inzip file fail: " + name);
  }
  // Packers on Unix record the file mode in the high half of the external attributes.
  const bool unixProgram = (info.version >> 8) == 3 && ((info.external_fa >> 16) & 0111) != 0;

  OpenEntry entry(archive);
  if (!entry.IsOpen()) return fail("open inzip file fail: " + name);
  // Only the opening is made again while the file is held: the entry stays open for reading.
  FilePtr out;
  RetryWhileHeld("open unzip file", outPath, [&out, &outPath] {
    out.reset(platform::utf8::OpenForWriting(outPath));
    return out != nullptr;
  });
  if (out == nullptr) return fail("open unzip file fail: " + name);

  uint64_t copied = 0;
  for (;;) {
    if (abandon && abandon()) return EntryOutcome::Abandoned;
    const int read = unzReadCurrentFile(archive, buffer_.data(), kCopyBufferBytes);
    if (read == 0) break;
    if (read < 0) return fail("read current file fail: " + name);
    // A short write (a full disk) would leave a cut file that passes for a good one.
    if (std::fwrite(buffer_.data(), 1, static_cast<size_t>(read), out.get()) !=
        static_cast<size_t>(read)) {
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
  return EntryOutcome::Written;
}
