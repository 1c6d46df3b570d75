#pragma once
// The package's digests made on a thread of their own, reading the file's contiguous prefix back
// as the download says it grew: the download's thread keeps to the transfers and the writes, and
// the digests cost it nothing but a flush. The bytes come back from the system's cache, written
// a moment before.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "net/http_util.h"
#include "net/running_digests.h"

class FollowingDigests {
 public:
  FollowingDigests(std::string path, bool withSha256);
  ~FollowingDigests();
  FollowingDigests(const FollowingDigests&) = delete;
  FollowingDigests& operator=(const FollowingDigests&) = delete;

  // The file's first `prefix` bytes are written and have left the writer's buffers.
  void Grown(uint64_t prefix);
  // Waits until the digests describe the file's first `total` bytes; nothing when they were lost
  // (the file could not be read back), and the check reads the file instead.
  std::optional<DownloadDigests> Finish(uint64_t total);

 private:
  void Follow();

  const std::string path_;
  RunningDigests digests_;  // the thread's alone until it has ended
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t told_ = 0;
  uint64_t through_ = 0;
  bool lost_ = false;
  bool stopping_ = false;
  std::thread thread_;
};
