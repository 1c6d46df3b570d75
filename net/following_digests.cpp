#include "net/following_digests.h"

#include <algorithm>
#include <utility>

#include "fs/stdio_file.h"
#include "platform/files.h"

namespace {
// Read back per step, so a stop is heard between steps.
constexpr uint64_t kStepBytes = 4u << 20;
}  // namespace

FollowingDigests::FollowingDigests(std::string path, bool withSha256)
    : path_(std::move(path)), digests_(withSha256), thread_([this] { Follow(); }) {}

FollowingDigests::~FollowingDigests() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void FollowingDigests::Grown(uint64_t prefix) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (prefix <= told_) return;
    told_ = prefix;
  }
  changed_.notify_all();
}

std::optional<DownloadDigests> FollowingDigests::Finish(uint64_t total) {
  Grown(total);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return lost_ || through_ >= told_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (digests_.Through() != total) return std::nullopt;
  return digests_.Finish();
}

void FollowingDigests::Follow() {
  FilePtr file;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || (!lost_ && told_ > through_); });
    if (stopping_) return;
    const uint64_t upTo = std::min(told_, through_ + kStepBytes);
    lock.unlock();
    if (file == nullptr) file.reset(platform::OpenFile(path_, "rb"));
    if (file == nullptr) {
      digests_.Lose();
    } else {
      digests_.AddFromFile(file.get(), upTo);
      if (digests_.Through() != upTo) digests_.Lose();
    }
    lock.lock();
    through_ = digests_.Through();
    lost_ = digests_.Lost();
    changed_.notify_all();
  }
}
