// The verdict: compares the fileInfo document with the download record, the installed files and
// the local package file.

#include <algorithm>
#include <exception>
#include <optional>
#include <string>

#include "core/layout.h"
#include "core/strings.h"
#include "fs/download_record.h"
#include "fs/safe_path.h"
#include "install/file_digest.h"
#include "net/package_parts.h"
#include "net/worker.h"
#include "platform/files.h"
#include "platform/utf8_files.h"
#include "update/check.h"
#include "update/json_util.h"

namespace {

const char kErrorPrefix[] = "校验文件时错误\n";

struct VerifyTask {
  Check* check;
  std::string text;
  CheckCallback onResult;
};

}  // namespace

void Check::StartVerify(const CheckCallback& onResult, const std::string& status,
                        const std::string& text) {
  if (status != "succ") return;
  lastFileInfoText = text;
  StartWorker(
      VerifyTask{this, text, onResult},
      [](VerifyTask& task) { task.check->VerifyPackage(task.text, task.onResult); },
      [](VerifyTask& task, const std::string& what) {
        task.onResult("error", kErrorPrefix + what, "", 0, 0);
      });
}

void Check::VerifyPackage(const std::string& fileInfoText, const CheckCallback& onResult) {
  try {
    const PackageInfo info = ReadPackageInfo(fileInfoText);
    // zipName is both a URL path and a local path that is later written and deleted, with the
    // package folder: one outside that folder (a file beside the launcher, the install) is
    // refused before anything touches the disk.
    if (!IsFileInFolder(info.zipName, packageFolderName)) {
      onResult("error", kErrorPrefix + std::string("zipName invalid: ") + info.zipName, "", 0, 0);
      return;
    }
    packagePath = info.zipName;
    if (RecordMatches(info.zipName, info.zipMd5, info.zipBytes) && FilesPresent(info.fileNameList)) {
      onResult("notNeedUpdate", "", "", 0, 0);
      return;
    }
    const int64_t offset = ResumeOffset(info.zipName, info.zipMd5, info.zipBytes);
    packageByteLimit.reset();
    packageSha256 = info.zipSha256;
    packageDirectorySha256 = info.zipDirectorySha256;
    packageEntrySha256 = info.zipEntrySha256;
    if (info.zipBytesStated) {
      packageByteLimit = static_cast<uint64_t>(std::max<int64_t>(info.zipBytes, 0));
    }
    onResult("needUpdate", info.zipName, info.zipMd5, info.zipBytes, offset);
  } catch (const std::exception& e) {
    onResult("error", kErrorPrefix + std::string(e.what()), "", 0, 0);
  }
}

PackageInfo Check::ReadPackageInfo(const std::string& fileInfoText) {
  const JsonUtil::Document document = JsonUtil::ToObject(fileInfoText);
  PackageInfo info;
  // Members of another type than the document promises count as absent.
  if (const JsonUtil::Value* md5 = JsonUtil::FindMember(document, "zipMd5"); md5 && md5->IsString()) {
    info.zipMd5 = md5->GetString();
  }
  if (const JsonUtil::Value* name = JsonUtil::FindMember(document, "zipName");
      name && name->IsString()) {
    info.zipName = name->GetString();
  }
  if (const JsonUtil::Value* sha256 = JsonUtil::FindMember(document, "zipSha256");
      sha256 && sha256->IsString()) {
    info.zipSha256 = sha256->GetString();
  }
  info.zipDirectorySha256 = JsonUtil::GetString(document, "zipDirectorySha256");
  if (const JsonUtil::Value* entries = JsonUtil::FindMember(document, "zipEntrySha256");
      entries && entries->IsObject()) {
    for (const auto& member : entries->GetObject()) {
      // The first of two members with the same name wins, as everywhere in these documents.
      if (member.value.IsString()) {
        info.zipEntrySha256.emplace(std::string(member.name.GetString(), member.name.GetStringLength()),
                                    member.value.GetString());
      }
    }
  }
  if (const JsonUtil::Value* bytes = JsonUtil::FindMember(document, "zipBytes");
      bytes && bytes->IsInt64()) {
    info.zipBytes = bytes->GetInt64();
    info.zipBytesStated = true;
  }
  JsonUtil::ForEachInArray(document, "fileNameList", [&info](const JsonUtil::Value& value) {
    if (value.IsString()) info.fileNameList.emplace_back(value.GetString());
  });
  return info;
}

bool Check::RecordMatches(const std::string& zipName, const std::string& zipMd5, int64_t zipBytes) {
  if (platform::PathExists(zipName)) {
    const uint64_t size = FileSize64(zipName);
    if (zipBytes < 0 || static_cast<uint64_t>(zipBytes) < size) return false;
  }
  // The record names a package before it is installed: while the mark is set, the installed
  // files may still be the previous version's (with the same names) or half-written.
  if (!DownloadRecordValue(installPendingKey).empty()) return false;
  const std::string recordedName = DownloadRecordValue("zipName");
  const std::string recordedMd5 = DownloadRecordValue("zipMd5");
  return !recordedName.empty() && recordedName == zipName && SameDigest(recordedMd5, zipMd5);
}

bool Check::FilesPresent(const std::vector<std::string>& fileNameList) {
  for (const std::string& entry : fileNameList) {
    // Only existence is tested, and the joined path starts inside the install directory, so a
    // leading separator or a drive-like prefix stays inside it. Parent pieces could still climb
    // out and let a document learn whether some file of the player's exists (a download or not
    // tells the server) or make the system mount a share: such an entry counts as missing.
    if (ClimbsAboveStart(entry)) return false;
    // The document's names are UTF-8, looked up as the extraction wrote them: by their own
    // characters, whatever the system's code page.
    if (!platform::utf8::PathExists(platform::utf8::FromNarrow(installDirName) + "/" + entry)) {
      return false;
    }
  }
  return true;
}

int64_t Check::ResumeOffset(const std::string& zipName, const std::string& zipMd5, int64_t zipBytes) {
  if (!platform::PathExists(zipName)) return 0;
  // The same digest in another letter case is the same package; RememberPackage keeps its
  // partial file by the same rule, so an offset given here always finds its bytes.
  if (!SameDigest(DownloadRecordValue("zipMd5"), zipMd5)) return 0;
  const uint64_t size = FileSize64(zipName);
  if (zipBytes < 0 || size > static_cast<uint64_t>(zipBytes)) return 0;
  // A download over several connections wrote pieces at their offsets: the parts file beside
  // the package says which bytes are there.
  if (const std::optional<uint64_t> kept = KeptPackageBytes(zipName, static_cast<uint64_t>(zipBytes))) {
    return static_cast<int64_t>(*kept);
  }
  if (size == static_cast<uint64_t>(zipBytes)) {
    return SameDigest(FileMd5IfExists(packagePath), zipMd5) ? static_cast<int64_t>(size) : 0;
  }
  return static_cast<int64_t>(size);
}
