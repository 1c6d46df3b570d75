#include "net/running_digests.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/file_seek.h"

RunningDigests::RunningDigests(bool withSha256) {
  if (withSha256) sha256_ = std::make_unique<platform::Sha256>();
  Restart();
}

void RunningDigests::Restart() {
  std::string failure;
  through_ = 0;
  lost_ = !md5_.Begin(&failure) || (sha256_ && !sha256_->Begin(&failure));
}

void RunningDigests::Add(const char* data, size_t size) {
  if (lost_ || size == 0) return;
  std::string failure;
  lost_ = !md5_.Update(data, size, &failure) || (sha256_ && !sha256_->Update(data, size, &failure));
  through_ += size;
}

void RunningDigests::AddFromFile(std::FILE* file, uint64_t upTo) {
  if (lost_ || through_ >= upTo) return;
  // Bytes this stream still buffers are not in the file yet.
  if (std::fflush(file) != 0 || !platform::SeekFromStart(file, through_)) {
    lost_ = true;
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(1u << 20, upTo - through_)));
  while (!lost_ && through_ < upTo) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), upTo - through_));
    if (std::fread(buffer.data(), 1, want, file) != want) {
      lost_ = true;
      return;
    }
    Add(buffer.data(), want);
  }
}

std::optional<DownloadDigests> RunningDigests::Finish() {
  if (lost_) return std::nullopt;
  platform::Md5::Digest md5{};
  platform::Sha256::Digest sha256{};
  std::string failure;
  const bool made = md5_.Finish(&md5, &failure) && (!sha256_ || sha256_->Finish(&sha256, &failure));
  lost_ = true;
  if (!made) return std::nullopt;
  return DownloadDigests{LowerHex(md5.data(), md5.size()),
                         sha256_ ? LowerHex(sha256.data(), sha256.size()) : ""};
}
