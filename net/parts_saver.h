#pragma once
// The package's list of written parts, saved on a thread of its own. A save waits for the disk
// (the list is synced, and the sync queues behind the package's own writes in flight): on a
// fast line the download's thread spent a third of its time there. Only the newest list waits
// to be written; one that lags names fewer bytes than are kept, never bytes that are not.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "net/package_parts.h"

class PartsSaver {
 public:
  explicit PartsSaver(std::string packagePath);
  ~PartsSaver();
  PartsSaver(const PartsSaver&) = delete;
  PartsSaver& operator=(const PartsSaver&) = delete;

  // On the caller's thread, after the save under way: for a list that must be on the disk before
  // the download goes on.
  bool SaveNow(const PackageParts& parts);
  // By the saver's thread, replacing a list still waiting.
  void SaveSoon(PackageParts parts);
  // Waits for the save under way and drops the one waiting: nothing is written after this, so
  // the caller may save or remove the list itself.
  void Stop();

 private:
  void Run();

  const std::string packagePath_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<PackageParts> waiting_;
  bool saving_ = false;
  bool stopped_ = false;
  std::thread thread_;
};
