// Which fileInfo document the check verifies against: the installed version's cached copy while
// it is fresh and supported, else the remote document of the newest version.

#include <optional>
#include <string>
#include <vector>

#include "core/layout.h"
#include "fs/download_record.h"
#include "fs/now_ms.h"
#include "fs/text_file.h"
#include "platform/files.h"
#include "update/check.h"
#include "update/document_signature.h"
#include "update/json_util.h"
#include "update/text_digest.h"
#include "update/trusted_key.h"
#include "core/strings.h"
#include "update/version_strings.h"

namespace {

constexpr int64_t kCacheFreshMs = 864000000;  // 10 days

bool UsableCache(const std::string& cachePath) {
  if (!platform::PathExists(cachePath)) return false;
  const std::optional<int64_t> written = platform::LastWriteTimeMs(cachePath);
  if (!written) return false;  // an unreadable time counts as stale
  if (NowMs() - *written > kCacheFreshMs) return false;
  const std::string text = ReadTextFile(cachePath);
  if (text.empty()) return false;
  try {
    JsonUtil::ToObject(text);
  } catch (const JsonToObjectException&) {
    return false;
  }
  // With a key the cache must verify again: the disk is no safer than the network.
  if (const std::optional<minisign::PublicKey> key = TrustedPublicKey()) {
    const std::string signature = ReadTextFile(cachePath + ".minisig");
    return CheckSignedDocument(*key, DocumentFileName(cachePath), text, signature).accepted;
  }
  return true;
}

}  // namespace

bool Check::FileInfoIsNamed(const std::string& configText, const std::string& fileInfoText) {
  try {
    const JsonUtil::Document config = JsonUtil::ToObject(configText);
    const JsonUtil::Value* named = JsonUtil::FindMember(config, "fileInfoSha256");
    if (named == nullptr) return true;
    return named->IsString() && named->GetString() == TextSha256(fileInfoText);
  } catch (const JsonToObjectException&) {
    return false;
  }
}

std::string Check::SelectFileInfo(const std::string& configText, std::string& path) {
  const JsonUtil::Document config = JsonUtil::ToObject(configText);
  const std::string lastVersion = JsonUtil::GetString(config, "lastVersion");
  path = packageFolderName + "/fileInfo_" + ReplaceAll(lastVersion, ".", "_") + ".json";

  std::vector<std::string> unsupported;
  JsonUtil::ForEachInArray(config, "unsupportedVersions", [&](const JsonUtil::Value& value) {
    if (value.IsString()) unsupported.emplace_back(value.GetString());
  });

  const std::string recordedName = DownloadRecordValue("zipName");
  if (recordedName.empty()) return "remoteFileInfo";
  const std::optional<std::string> installed = InstalledVersion(recordedName);
  if (!installed) return "remoteFileInfo";
  const std::string dotted = ReplaceAll(*installed, "_", ".");
  for (const std::string& pattern : unsupported) {
    if (VersionMatches(pattern, dotted)) return "remoteFileInfo";
  }
  const std::string cachePath = installDirName + "/fileInfo_" + *installed + ".json";
  if (!UsableCache(cachePath)) return "remoteFileInfo";
  // The config's digest speaks of lastVersion's fileInfo: when that is the cached version, a
  // cache of an earlier packing of it is passed over, so a replaced release reaches players now
  // and not when the cache grows stale.
  if (TrustedPublicKey() && dotted == lastVersion &&
      !FileInfoIsNamed(configText, ReadTextFile(cachePath))) {
    return "remoteFileInfo";
  }
  path = cachePath;
  return "localFileInfo";
}
