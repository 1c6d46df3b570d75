#include "net/parts_saver.h"

#include <system_error>
#include <utility>

PartsSaver::PartsSaver(std::string packagePath) : packagePath_(std::move(packagePath)) {}

PartsSaver::~PartsSaver() { Stop(); }

bool PartsSaver::SaveNow(const PackageParts& parts) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !saving_; });
  // An older list written after this one would take back what this one says.
  waiting_.reset();
  return SavePackageParts(packagePath_, parts);
}

void PartsSaver::SaveSoon(PackageParts parts) {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { Run(); });
      } catch (const std::system_error&) {
        // No thread to spare: the download waits for its saves, as it always could.
        SavePackageParts(packagePath_, parts);
        return;
      }
    }
    waiting_ = std::move(parts);
  }
  changed_.notify_all();
}

void PartsSaver::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    waiting_.reset();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PartsSaver::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopped_ || waiting_.has_value(); });
    if (stopped_) return;
    const PackageParts parts = std::move(*waiting_);
    waiting_.reset();
    saving_ = true;
    lock.unlock();
    SavePackageParts(packagePath_, parts);
    lock.lock();
    saving_ = false;
    changed_.notify_all();
  }
}
