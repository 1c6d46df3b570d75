#include "net/remember_package.h"

#include "core/layout.h"
#include "core/strings.h"
#include "fs/download_record.h"
#include "net/package_parts.h"
#include "platform/files.h"

void RememberPackage(const std::string& zipPath, const std::string& zipMd5,
                     const RecordWriteFailed& onWriteFailed) {
  const std::string recordedName = DownloadRecordValue("zipName");
  const std::string recordedMd5 = DownloadRecordValue("zipMd5");
  if (!recordedName.empty()) {
    if (platform::PathExists(recordedName) && recordedName != zipPath) {
      platform::RemoveFile(recordedName);
      platform::RemoveFile(PackagePartsPath(recordedName));
    } else if (!SameDigest(zipMd5, recordedMd5)) {
      // A partial file of an older version of the same package. The same digest in another
      // letter case is the same package: the update check resumes such a file, so it must stay.
      platform::RemoveFile(recordedName);
      platform::RemoveFile(PackagePartsPath(recordedName));
    }
  }
  // Written first and cleared only after a finished extraction: from here on the installed
  // files may be older than the record says (the download, the settle, the digest check and the
  // extraction can each be cut short), and a run that finds the mark resumes or installs the
  // package instead of starting the game it replaces. A stop between this write and the next
  // two leaves the mark with the previous names, which the check treats the same way.
  // One report for the three writes: a file that stays blocked would otherwise ask the player
  // three times over in a row.
  bool reported = false;
  const auto save = [&](const std::string& key, const std::string& value) {
    if (SaveDownloadRecord(key, value) || reported) return;
    reported = true;
    if (onWriteFailed) onWriteFailed();
  };
  save(installPendingKey, zipPath);
  save("zipName", zipPath);
  save("zipMd5", zipMd5);
}
