#pragma once
// minizip's handle on the package, and the inflating of one entry into one file: what the
// calling thread and every extraction thread do alike, each on a handle of its own.

#include <unzip.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "install/zip_util.h"

struct ArchiveCloser {
  void operator()(void* archive) const { unzClose(static_cast<unzFile>(archive)); }
};
// An open package, closed on every way out.
using ArchivePtr = std::unique_ptr<void, ArchiveCloser>;

// The package opened through the platform's file calls (a path past MAX_PATH opens too); empty
// when minizip cannot read its directory.
ArchivePtr OpenPackage(const std::string& zipPath);

// The current entry's name, and the size it declares. Stored names are always taken as UTF-8,
// whatever the entry's flags claim, because the publisher's packer writes UTF-8; they stay UTF-8
// up to the file calls. False when the name is longer than kMaxEntryNameBytes.
bool ReadEntryName(unzFile archive, std::string* name, uint64_t* declaredBytes = nullptr);

// The entry's name with the separator the platform does not know turned into its own, so that
// "x\y.txt" lands in the folder x everywhere.
std::string WithPlatformSeparators(std::string name);

// Log lines, events and failure texts name entries and paths in the narrow encoding, as the rest
// of the launcher's texts.
std::string ShownName(const std::string& utf8);

enum class EntryOutcome { Written, Failed, Abandoned };

// Writes entries one after the other through one buffer: one writer per thread, so memory stays
// the same whatever the entries' sizes.
class EntryWriter {
 public:
  EntryWriter();
  // Writes the archive's current entry to outPath (UTF-8 form of platform/utf8_files.h), checking
  // its length and CRC-32; name is the entry's name as failure texts show it. On Failed, error
  // holds the line that says why (not logged here). abandon, when given, is asked between blocks:
  // true leaves the file cut short and returns Abandoned.
  EntryOutcome Write(unzFile archive, const std::string& name, const std::string& outPath,
                     UnzipDurability durability, std::string& error,
                     const std::function<bool()>& abandon = {});

 private:
  std::vector<char> buffer_;
};
