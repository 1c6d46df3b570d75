#pragma once
// Entries inflated from the package while it downloads. A scanner follows the file's contiguous
// prefix from local header to local header and opens each entry's file in a staging folder beside
// the package (the install's volume); inflaters, one per core, fill those files as the entries'
// bytes arrive, each checked against the CRC-32 and length its header declares. Nothing here is
// trusted yet: the package's digests, then its central directory, decide later which staged
// files are moved into the install (install/staged_install.h).
//
// Staging stops quietly at whatever it cannot follow (a data descriptor, encryption, another
// method, a damaged record, a second entry for one file, too little room): what was not staged
// is extracted from the package after the check, as without a stage.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "fs/parent_folders.h"
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
  // inflaters: threads filling files, 0 for one per core.
  PackageStage(std::string packagePath, std::string stageDir, uint64_t packageBytes,
               unsigned inflaters = 0);
  ~PackageStage();
  PackageStage(const PackageStage&) = delete;
  PackageStage& operator=(const PackageStage&) = delete;

  // Empties the folder and starts the threads; false when that could not be done (no stage).
  bool Start();
  // The download's prefixWritten: bytes [0, prefixBytes) can be read from the package file.
  void PrefixWritten(uint64_t prefixBytes);
  // The download ended. Waits for the threads to stage what the prefix holds, and returns the
  // entries staged in archive order, up to the first that did not add up.
  std::vector<StagedEntry> Finish();
  // Stops the threads as soon as they can; what they staged stays on the disk until Discard.
  void Stop();
  // Stops, and removes the folder with everything in it.
  void Discard();

  const std::string& Package() const { return packagePath_; }

 private:
  enum class Outcome { Staged, Broken };
  // One thread's way into the package: its own handle and buffers.
  struct Reader {
    FilePtr file;
    std::vector<char> input, output;
  };
  struct Job {
    size_t index = 0;  // in staged_
    uint64_t dataOffset = 0;
    int method = 0;
    std::string path;  // in the UTF-8 form
    FilePtr out;  // opened by the scanner, so names meet the file system in archive order
  };

  void Scan();
  void RunInflater();
  bool StageNext(uint64_t& offset);
  bool WaitFor(uint64_t end);
  bool ReadAt(Reader& reader, uint64_t offset, char* out, size_t bytes);
  Outcome Inflate(Reader& reader, Job& job, const StagedEntry& entry);
  bool HasRoomFor(uint64_t bytes, uint64_t offset);
  void JoinAll();

  const std::string packagePath_;
  const std::string stageDir_;
  const uint64_t packageBytes_;
  const unsigned inflaterCount_;

  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t prefix_ = 0;
  bool ended_ = false;    // no more bytes will come
  bool stopped_ = false;  // leave at once
  bool scanned_ = false;  // the scanner has handed out its last job
  std::deque<Job> jobs_;
  uint64_t pendingBytes_ = 0;  // what the jobs not yet done will write
  // Every entry handed out, in archive order; stagedPath is set once its file is whole.
  std::vector<StagedEntry> staged_;
  size_t firstBroken_ = SIZE_MAX;  // index in staged_ of the first entry that did not add up
  uint64_t scannedTo_ = 0;

  // The scanner's alone.
  Reader scanReader_;
  std::unordered_set<std::string> keys_;  // FileSystemKey of every file handed out
  ParentFolders folders_;

  std::thread scanner_;
  std::vector<std::thread> inflaters_;
};
