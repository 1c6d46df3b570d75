#include "net/remember_package.h"

#include "fs/download_record.h"
#include "platform/files.h"

void RememberPackage(const std::string& zipPath, const std::string& zipMd5,
                     const RecordWriteFailed& onWriteFailed) {
  const std::string recordedName = DownloadRecordValue("zipName");
  const std::string recordedMd5 = DownloadRecordValue("zipMd5");
  if (!recordedName.empty()) {
    if (platform::PathExists(recordedName) && recordedName != zipPath) {
      platform::RemoveFile(recordedName);
    } else if (zipMd5 != recordedMd5) {
      // A partial file of an older version of the same package.
      platform::RemoveFile(recordedName);
    }
  }
  if (!SaveDownloadRecord("zipName", zipPath) && onWriteFailed) onWriteFailed();
  if (!SaveDownloadRecord("zipMd5", zipMd5) && onWriteFailed) onWriteFailed();
}
