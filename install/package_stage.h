#pragma once
// Entries inflated from the package while it downloads: a thread of its own follows the file's
// contiguous prefix, reads each entry from its local header and writes it into a staging folder
// beside the package (the install's volume), checked against the CRC-32 and length that header
// declares. Nothing here is trusted yet: the package's digests, then its central directory,
// decide later which staged files are moved into the install (install/staged_install.h).
//
// Staging stops quietly at whatever it cannot follow (a data descriptor, encryption, another
// method, a damaged record, too little room): what was not staged is extracted from the package
// after the check, as without a stage.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "fs/stdio_file.h"

struct StagedEntry {
  std::string name;  // as stored
  uint64_t localHeaderOffset = 0;
  uint32_t crc32 = 0;
  uint64_t compressedBytes = 0;
  uint64_t uncompressedBytes = 0;
  std::string stagedPath;  // in the UTF-8 form of platform/utf8_files.h
};

// The stage's folder, inside the package folder: on the install's volume, and removed with it.
inline constexpr char kStageFolderSuffix[] = "/.staged";

// Room the stage leaves on the volume beside the rest of the package still to come.
inline constexpr uint64_t kStageSpareBytes = 64u << 20;

class PackageStage {
 public:
  // stageDir: a narrow path, emptied and made by Start. packageBytes: the package's full size.
  PackageStage(std::string packagePath, std::string stageDir, uint64_t packageBytes);
  ~PackageStage();
  PackageStage(const PackageStage&) = delete;
  PackageStage& operator=(const PackageStage&) = delete;

  // Empties the folder and starts the thread; false when neither could be done (no stage).
  bool Start();
  // The download's prefixWritten: bytes [0, prefixBytes) can be read from the package file.
  void PrefixWritten(uint64_t prefixBytes);
  // The download ended. Waits for the thread to stage what the prefix holds, and returns the
  // entries staged, last one of each file-system name only, in archive order.
  std::vector<StagedEntry> Finish();
  // Stops the thread as soon as it can; what it staged stays on the disk until Discard.
  void Stop();
  // Stops, and removes the folder with everything in it.
  void Discard();

  const std::string& Package() const { return packagePath_; }

 private:
  enum class Outcome { Staged, Skipped, Broken };

  void Run();
  bool StageNext(uint64_t& offset);
  bool WaitFor(uint64_t end);
  bool ReadAt(uint64_t offset, char* out, size_t bytes);
  Outcome Inflate(uint64_t dataOffset, const StagedEntry& entry, int method,
                  const std::string& path);
  void Forget(const std::string& name);
  bool HasRoomFor(uint64_t bytes, uint64_t offset) const;
  void Keep(StagedEntry entry);

  const std::string packagePath_;
  const std::string stageDir_;
  const uint64_t packageBytes_;
  std::string root_;  // stageDir_ in the UTF-8 form

  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t prefix_ = 0;
  bool ended_ = false;    // no more bytes will come
  bool stopped_ = false;  // leave at once
  std::thread thread_;

  FilePtr file_;  // the thread's own reading handle
  std::vector<char> input_, output_;
  std::vector<StagedEntry> staged_;  // a forgotten entry keeps its place with an empty path
  std::unordered_map<std::string, size_t> stagedByKey_;  // FileSystemKey -> index in staged_
};
