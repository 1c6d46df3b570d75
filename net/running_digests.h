#pragma once
// The package's digests made while it is written: MD5, and SHA-256 when asked, over the file's
// bytes in order from its first. Once a step fails they are lost for this download, and the
// check after it reads the file instead.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "net/http_util.h"
#include "platform/md5.h"
#include "platform/sha256.h"

class RunningDigests {
 public:
  explicit RunningDigests(bool withSha256);
  RunningDigests(const RunningDigests&) = delete;
  RunningDigests& operator=(const RunningDigests&) = delete;

  // The file is written anew from its first byte.
  void Restart();
  // The file's next bytes, which start at Through().
  void Add(const char* data, size_t size);
  // The file's bytes from Through() up to upTo, read back through the stream; its position is
  // left anywhere.
  void AddFromFile(std::FILE* file, uint64_t upTo);
  void Lose() { lost_ = true; }
  bool Lost() const { return lost_; }
  // How many of the file's first bytes the digests describe.
  uint64_t Through() const { return through_; }
  // Nothing once lost; after it they are, until Restart.
  std::optional<DownloadDigests> Finish();

 private:
  platform::Md5 md5_;
  std::unique_ptr<platform::Sha256> sha256_;
  uint64_t through_ = 0;
  bool lost_ = false;
};
