#pragma once
// Package extraction with minizip into the destination, the entries shared out among threads,
// reporting through an UnzipCallback on the calling thread ("unzip" per entry in the archive's
// order, then "succ" or "fail").

#include <functional>
#include <string>
#include <vector>

using UnzipCallback = std::function<void(const std::string& event, const std::string& message,
                                         long long first, long long second)>;

struct UnzipOptions {
  // The entries to extract, by their index in the central directory; empty: all of them. Every
  // name is still checked for safety; the room needed and the events count the selected only.
  std::vector<bool> selected;
  // Threads that write the entries; 0: as many as the machine's cores, fewer when the work is
  // too small to share. At most 8.
  unsigned threads = 0;
};

struct UnzipTask {
  std::string zipPath;
  std::string destDir;
  UnzipCallback callback;  // may be empty: then no event is sent
};

// Whether the extracted files are on the disk, not only in the system's cache, before "succ" is
// reported. An install always waits for the disk: once "succ" clears the pending-install mark, a
// power loss must not leave a torn tree behind. The extraction benchmark leaves the flush out to
// time the extraction and the flush apart.
enum class UnzipDurability { OnDisk, InCache };

class ZipUtil {
 public:
  // Refuses an archive whose entries need more room than the destination's disk has left, and
  // fails an entry whose size or CRC-32 differs from what the archive declares. The events read
  // as one pass from the first entry would give them: when entries fail, the first one's
  // failure is reported, after the events of every entry before it; entries after it may have
  // been written by then.
  static bool Unzip(const std::string& zipPath, const std::string& destDir,
                    const UnzipCallback& callback,
                    UnzipDurability durability = UnzipDurability::OnDisk,
                    const UnzipOptions& options = {});
  // Writes the archive's current entry (archive is minizip's unzFile) to outPath, a path in the
  // UTF-8 form of platform/utf8_files.h; name is the entry's name as failure texts show it.
  static bool ExtractCurrentEntry(void* archive, const std::string& name,
                                  const std::string& outPath, std::string& error,
                                  UnzipDurability durability = UnzipDurability::OnDisk);
  // Copies the task into a new detached worker; throws std::system_error if none can start.
  static void StartUnzip(UnzipTask task, UnzipOptions options = {});
};

// The longest entry name the extraction reads, in bytes; a longer one is refused, never cut.
inline constexpr unsigned kMaxEntryNameBytes = 511;

// Entry-name helpers; both '/' and '\' are separators.
std::string DirPartOf(const std::string& name);
std::string FilePartOf(const std::string& name);
std::vector<std::string> SplitDirComponents(const std::string& dirPart);
