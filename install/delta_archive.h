#pragma once
// The small valid zip a differential update installs: the fetched entries' local headers and
// data as the remote archive holds them, their central records with the local header offsets
// rebased, and new end records, so the ordinary extraction installs it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fs/stdio_file.h"
#include "install/zip_directory.h"
#include "platform/sha256.h"

class DeltaArchiveWriter {
 public:
  // Opens path; the spans of `entries` (indexes into directory) will arrive in ascending archive
  // order. With resume, what a run cut short already wrote there for the same spans is kept (each
  // kept span must start with its entry's local header; anything else starts the file over), and
  // ResumeAt says where the archive's bytes are wanted from; otherwise the file starts empty.
  DeltaArchiveWriter(const std::string& path, const std::vector<ZipDirectoryEntry>& directory,
                     const std::vector<size_t>& entries, bool resume = false);
  ~DeltaArchiveWriter();
  DeltaArchiveWriter(const DeltaArchiveWriter&) = delete;
  DeltaArchiveWriter& operator=(const DeltaArchiveWriter&) = delete;

  // Bytes [archiveOffset, archiveOffset + data.size()) of the remote archive; bytes outside the
  // wanted spans (merged gaps) are dropped. False on a write error or out-of-order bytes.
  bool Write(uint64_t archiveOffset, std::string_view data);
  // Checks every span arrived complete, writes the directory and end records, flushes, closes.
  bool Finish(std::string& error);
  // SHA-256 (lower-case hex) of each wanted span as written, in `entries` order; valid after
  // Finish.
  const std::vector<std::string>& SpanSha256() const;
  // The archive offset of the first byte still wanted (past the last span when none is), and
  // the bytes of the spans that were already on the disk.
  uint64_t ResumeAt() const;
  uint64_t KeptBytes() const { return kept_; }

 private:
  bool Fail(std::string message);
  bool Append(std::string_view bytes);
  bool EndSpan();
  bool Adopt(uint64_t onDisk);

  std::string path_;
  FilePtr file_;
  uint64_t kept_ = 0;                            // bytes adopted from an earlier run
  std::vector<const ZipDirectoryEntry*> spans_;  // the wanted spans in archive order
  std::vector<size_t> order_;                    // spans_[i] is the order_[i]-th of `entries`
  std::vector<uint64_t> newOffsets_;             // where each span starts in the new file
  size_t current_ = 0;                           // the span being written or awaited
  uint64_t spanDone_ = 0;                        // bytes of the current span written
  std::string spanHead_;                         // its first bytes, for the signature check
  uint64_t position_ = 0;                        // next archive byte expected (no going back)
  uint64_t written_ = 0;                         // bytes in the new file
  platform::Sha256 hash_;
  std::vector<std::string> spanSha256_;
  std::string failure_;
  bool failed_ = false;
  bool finished_ = false;
};
