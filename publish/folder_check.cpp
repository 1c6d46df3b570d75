#include "publish/folder_check.h"

#include <unzip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/layout.h"
#include "core/strings.h"
#include "fs/safe_path.h"
#include "install/zip_util.h"
#include "publish/entry_name_rules.h"
#include "publish/package_digest.h"
#include "publish/progress_line.h"
#include "publish/version_rules.h"
#include "publish/windows_names.h"
#include "publish/zip_hashes.h"
#include "update/document_signature.h"
#include "update/json_util.h"
#include "update/text_digest.h"
#include "update/version_strings.h"

namespace fs = std::filesystem;

namespace {

class Findings {
 public:
  void Add(const std::string& where, const std::string& what) { lines_.push_back(where + ": " + what); }
  std::vector<std::string> Take() { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
};

// The bytes as a server sends them.
std::optional<std::string> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsLowerHex(const std::string& text, size_t digits) {
  if (text.size() != digits) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A clock this far ahead of the publisher's is taken for the difference between two machines.
constexpr int64_t kClockAllowanceSeconds = 600;

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The launcher's own verdict on the pair, and what its trusted time means for later releases.
void CheckSignature(const std::string& name, const std::string& path, const std::string& document,
                    const minisign::PublicKey& key, bool needsTimestamp, Findings& findings) {
  const std::optional<std::string> text = ReadBytes(path + ".minisig");
  if (!text) {
    findings.Add(name + ".minisig", "missing: a launcher with the key refuses " + name);
    return;
  }
  const SignedDocument verdict = CheckSignedDocument(key, DocumentFileName(name), document, *text);
  if (!verdict.accepted) {
    findings.Add(name, "launchers with the key refuse it: " + verdict.error);
    return;
  }
  if (!verdict.timestamp) {
    findings.Add(name + ".minisig",
                 needsTimestamp ? "its trusted comment carries no timestamp: launchers refuse it"
                                : "its trusted comment carries no timestamp");
    return;
  }
  const int64_t ahead = *verdict.timestamp - NowSeconds();
  if (ahead > kClockAllowanceSeconds) {
    findings.Add(name + ".minisig", "signed in the future (" + std::to_string(ahead) +
                                        " s ahead of this clock): launchers that accept it refuse "
                                        "every config signed before that time");
  }
}

// The document parsed as the launcher parses it; nothing (and a finding) when it would not be.
std::optional<JsonUtil::Document> ParseDocument(const std::string& name, const std::string& text,
                                                Findings& findings) {
  try {
    return JsonUtil::ToObject(text);
  } catch (const JsonToObjectException&) {
    findings.Add(name, "not a JSON object (the launcher stops with JsonUtil::ToObject Error)");
    return std::nullopt;
  }
}

struct PackageContent {
  std::set<std::string> names;  // files and folders, '/' separators, no trailing '/'
};

// Walks every entry as the extraction would, reading each one whole so that a damaged entry is
// found here and not on a player's disk.
std::optional<PackageContent> ReadPackage(const std::string& zipName, const std::string& path,
                                          uint64_t bytes, Findings& findings) {
  std::unique_ptr<void, int (*)(unzFile)> archive(unzOpen64(path.c_str()), unzClose);
  if (archive == nullptr) {
    findings.Add(zipName, "not a zip archive the launcher can open");
    return std::nullopt;
  }
  const unzFile zip = static_cast<unzFile>(archive.get());
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
    findings.Add(zipName, "not a zip archive the launcher can open");
    return std::nullopt;
  }
  PackageContent content;
  ProgressLine progress("Reading " + zipName, bytes);
  std::vector<char> buffer(1 << 20);
  for (uint64_t i = 0; i < global.number_entry; ++i) {
    if (i > 0 && unzGoToNextFile(zip) != UNZ_OK) {
      findings.Add(zipName, "entry " + std::to_string(i) + " cannot be reached");
      return std::nullopt;
    }
    char nameBuffer[kMaxEntryNameBytes + 1] = {};
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nameBuffer, sizeof nameBuffer, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      findings.Add(zipName, "entry " + std::to_string(i) + " cannot be read");
      return std::nullopt;
    }
    const std::string name(nameBuffer);
    if (info.size_filename > kMaxEntryNameBytes) {
      findings.Add(zipName, "entry \"" + name + "...\": longer than " +
                                std::to_string(kMaxEntryNameBytes) + " bytes");
      continue;
    }
    if (std::string why = EntryNameProblem(name);
        !why.empty() || !(why = WindowsNameProblem(name)).empty()) {
      findings.Add(zipName, "entry \"" + name + "\": " + why);
      continue;
    }
    std::string shown = ReplaceAll(name, "\\", "/");
    if (shown.back() == '/') shown.pop_back();
    content.names.insert(shown);
    // The folders an entry's path passes through exist once it is extracted.
    for (size_t slash = shown.find('/'); slash != std::string::npos; slash = shown.find('/', slash + 1)) {
      content.names.insert(shown.substr(0, slash));
    }
    if (FilePartOf(name).empty()) continue;
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
      findings.Add(zipName, "entry \"" + name + "\" cannot be opened");
      continue;
    }
    uint64_t read = 0;
    int got = 0;
    while ((got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
      read += static_cast<uint64_t>(got);
      progress.Update(unzGetOffset64(zip));
    }
    const int closed = unzCloseCurrentFile(zip);
    if (got < 0) {
      findings.Add(zipName, "entry \"" + name + "\" cannot be decompressed");
    } else if (read != info.uncompressed_size) {
      findings.Add(zipName, "entry \"" + name + "\" holds " + std::to_string(read) +
                                " bytes, not the " + std::to_string(info.uncompressed_size) + " it declares");
    } else if (closed == UNZ_CRCERROR) {
      findings.Add(zipName, "entry \"" + name + "\" fails its CRC-32");
    }
  }
  for (const auto& [first, second] : CaseCollisions({content.names.begin(), content.names.end()})) {
    findings.Add(zipName, "entries \"" + first + "\" and \"" + second +
                              "\" are one file on Windows (the names differ only in case)");
  }
  return content;
}

// The members a launcher that fetches only changed entries checks those entries against: each
// must match the package, or such launchers would refuse every differential update.
void CheckPartHashes(const std::string& name, const std::string& zipName,
                     const std::optional<ZipHashes>& parts, const JsonUtil::Document& document,
                     Findings& findings) {
  const JsonUtil::Value* directoryValue = JsonUtil::FindMember(document, "zipDirectorySha256");
  const JsonUtil::Value* entriesValue = JsonUtil::FindMember(document, "zipEntrySha256");
  if (directoryValue == nullptr && entriesValue == nullptr) return;
  if (!parts) {
    findings.Add(zipName, "its central directory cannot be read");
    return;
  }
  if (directoryValue != nullptr) {
    if (!directoryValue->IsString() || !IsLowerHex(directoryValue->GetString(), 64)) {
      findings.Add(name, "\"zipDirectorySha256\" is not 64 lower-case hex digits");
    } else if (parts->directorySha256 != directoryValue->GetString()) {
      findings.Add(zipName, "central directory SHA-256 " + parts->directorySha256 + ", but " + name +
                                " says " + directoryValue->GetString());
    }
  }
  if (entriesValue == nullptr) return;
  if (!entriesValue->IsObject()) {
    findings.Add(name, "\"zipEntrySha256\" is not an object");
    return;
  }
  std::set<std::string> inPackage;
  for (const auto& [entry, digest] : parts->entrySha256) {
    inPackage.insert(entry);
    const JsonUtil::Value* stated = JsonUtil::FindMember(*entriesValue, entry);
    if (stated == nullptr) {
      findings.Add(name, "\"zipEntrySha256\" has no digest for entry \"" + entry + "\"");
    } else if (!stated->IsString() || !IsLowerHex(stated->GetString(), 64)) {
      findings.Add(name, "\"zipEntrySha256\" of \"" + entry + "\" is not 64 lower-case hex digits");
    } else if (digest != stated->GetString()) {
      findings.Add(zipName, "entry \"" + entry + "\" SHA-256 " + digest + ", but " + name + " says " +
                                stated->GetString());
    }
  }
  for (const auto& member : entriesValue->GetObject()) {
    const std::string stated(member.name.GetString(), member.name.GetStringLength());
    if (inPackage.count(stated) == 0) {
      findings.Add(name, "\"zipEntrySha256\" names \"" + stated + "\", which " + zipName + " does not hold");
    }
  }
}

void CheckFileInfo(const std::string& serverFolder, const std::string& name,
                   const std::string& underscored, const JsonUtil::Document& document,
                   Findings& findings) {
  const JsonUtil::Value* zipNameValue = JsonUtil::FindMember(document, "zipName");
  const JsonUtil::Value* md5Value = JsonUtil::FindMember(document, "zipMd5");
  const JsonUtil::Value* bytesValue = JsonUtil::FindMember(document, "zipBytes");
  const JsonUtil::Value* listValue = JsonUtil::FindMember(document, "fileNameList");
  const JsonUtil::Value* shaValue = JsonUtil::FindMember(document, "zipSha256");
  if (zipNameValue == nullptr || !zipNameValue->IsString()) {
    findings.Add(name, "\"zipName\" is missing or not a string");
  }
  if (md5Value == nullptr || !md5Value->IsString()) {
    findings.Add(name, "\"zipMd5\" is missing or not a string");
  } else if (!IsLowerHex(md5Value->GetString(), 32)) {
    findings.Add(name, "\"zipMd5\" is not 32 lower-case hex digits");
  }
  if (bytesValue == nullptr || !bytesValue->IsInt64() || bytesValue->GetInt64() < 0) {
    findings.Add(name, "\"zipBytes\" is missing or not a size (the launcher would assume 100 MiB)");
  }
  if (listValue == nullptr || !listValue->IsArray()) {
    findings.Add(name, "\"fileNameList\" is missing or not an array");
  }
  if (shaValue != nullptr && (!shaValue->IsString() || !IsLowerHex(shaValue->GetString(), 64))) {
    findings.Add(name, "\"zipSha256\" is not 64 lower-case hex digits");
  }
  if (zipNameValue == nullptr || !zipNameValue->IsString()) return;

  const std::string zipName = zipNameValue->GetString();
  if (!IsContainedRelativePath(zipName)) {
    findings.Add(name, "\"zipName\" " + zipName + " leads outside the launcher's folder");
    return;
  }
  const std::optional<std::string> version = InstalledVersion(zipName);
  if (!version || *version != underscored) {
    findings.Add(name, "\"zipName\" " + zipName + " does not end in _" + underscored +
                           ".zip: the launcher cannot tell which version is installed");
  }
  const std::string zipPath = serverFolder + "/" + zipName;
  std::error_code failure;
  if (!fs::is_regular_file(zipPath, failure)) {
    findings.Add(zipName, "missing (named by " + name + ")");
    return;
  }
  const uint64_t size = fs::file_size(zipPath, failure);
  if (bytesValue != nullptr && bytesValue->IsInt64() &&
      static_cast<uint64_t>(bytesValue->GetInt64()) != size) {
    findings.Add(zipName, std::to_string(size) + " bytes, but " + name + " says " +
                              std::to_string(bytesValue->GetInt64()));
  }
  // The parts' digests come from the same pass over the package.
  std::optional<ZipPartHasher> hasher;
  if (std::optional<std::vector<ZipDirectoryEntry>> directory = ReadZipDirectoryOfFile(zipPath)) {
    hasher.emplace(std::move(*directory));
  }
  PackageDigest digest;
  {
    ProgressLine progress("Digesting " + zipName, size);
    digest = DigestPackage(
        zipPath, [&progress](uint64_t done) { progress.Update(done); },
        [&hasher](const unsigned char* bytes, size_t count) {
          if (hasher) hasher->Feed(bytes, count);
        });
  }
  if (digest.md5.empty()) {
    findings.Add(zipName, "cannot be read");
    return;
  }
  if (md5Value != nullptr && md5Value->IsString() && !SameDigest(digest.md5, md5Value->GetString())) {
    findings.Add(zipName, "MD5 " + digest.md5 + ", but " + name + " says " + md5Value->GetString());
  }
  if (shaValue != nullptr && shaValue->IsString() && digest.sha256 != shaValue->GetString()) {
    findings.Add(zipName, "SHA-256 " + digest.sha256 + ", but " + name + " says " + shaValue->GetString());
  }
  CheckPartHashes(name, zipName, hasher ? hasher->Finish() : std::nullopt, document, findings);
  const std::optional<PackageContent> content = ReadPackage(zipName, zipPath, size, findings);
  if (!content) return;
  if (content->names.count(gameExeName) == 0) {
    findings.Add(zipName, "holds no " + gameExeName + ": launchers install it and cannot start the game");
  }
  if (listValue == nullptr || !listValue->IsArray()) return;
  for (const JsonUtil::Value& element : listValue->GetArray()) {
    if (!element.IsString()) continue;  // the launcher skips these too
    const std::string listed = element.GetString();
    if (ClimbsAboveStart(listed)) {
      findings.Add(name, "listed \"" + listed +
                             "\" climbs out of the install folder: launchers count it missing and "
                             "download the package on every start");
    } else if (content->names.count(ReplaceAll(listed, "\\", "/")) == 0) {
      findings.Add(name, "listed \"" + listed + "\" is not in " + zipName +
                             ": launchers download the package on every start");
    }
  }
}

// What a pack leaves only when it was killed outright: an upload would publish it.
void CheckTemporaryFiles(const std::string& serverFolder, Findings& findings) {
  std::error_code failure;
  for (fs::recursive_directory_iterator it(serverFolder, failure), end; !failure && it != end;
       it.increment(failure)) {
    const std::string file = it->path().filename().string();
    const bool temporary = file.size() > 1 && file[0] == '.' &&
                           (file.ends_with(".partial") || file.ends_with(".previous"));
    if (temporary) {
      findings.Add(it->path().lexically_relative(serverFolder).generic_string(),
                   "a temporary file left by an interrupted run; remove it (an upload would "
                   "publish it)");
    }
  }
}

// Checked without the key, a folder where some documents are signed is one whose launchers have
// the key: a document without its signature is refused by every one of them.
void CheckUnsignedBesideSigned(const std::string& serverFolder,
                               const std::vector<std::string>& documents, Findings& findings) {
  bool anySigned = false;
  std::error_code failure;
  for (fs::directory_iterator it(serverFolder + "/" + packageFolderName, failure), end;
       !failure && it != end; it.increment(failure)) {
    anySigned = anySigned || it->path().extension() == ".minisig";
  }
  if (!anySigned) return;
  for (const std::string& name : documents) {
    if (!fs::exists(serverFolder + "/" + name + ".minisig", failure)) {
      findings.Add(name,
                   "unsigned, while other documents here are signed: launchers with the key "
                   "refuse it");
    }
  }
}

// A fileInfo newer than lastVersion: players are not offered it (a pack that stopped half-way,
// or a rollback that was not meant).
void CheckNewerFileInfos(const std::string& serverFolder, const std::string& configName,
                         const std::string& lastVersion, Findings& findings) {
  std::error_code failure;
  for (fs::directory_iterator it(serverFolder + "/" + packageFolderName, failure), end;
       !failure && it != end; it.increment(failure)) {
    const std::string file = it->path().filename().string();
    if (!file.starts_with("fileInfo_") || !file.ends_with(".json")) continue;
    const std::string version = ReplaceAll(file.substr(9, file.size() - 9 - 5), "_", ".");
    const std::optional<int> order = CompareVersions(lastVersion, version);
    if (order && *order < 0) {
      findings.Add(configName, "\"lastVersion\" " + lastVersion + " is older than " + file +
                                   " here: players are not offered " + version);
    }
  }
}

}  // namespace

std::vector<std::string> CheckServerFolder(const std::string& serverFolder,
                                           const minisign::PublicKey* key) {
  Findings findings;
  const std::string configName = packageFolderName + "/config.json";
  const std::optional<std::string> configText = ReadBytes(serverFolder + "/" + configName);
  if (!configText) {
    findings.Add(configName, "missing");
    return findings.Take();
  }
  CheckTemporaryFiles(serverFolder, findings);
  if (key != nullptr) {
    CheckSignature(configName, serverFolder + "/" + configName, *configText, *key, true, findings);
  }
  const std::optional<JsonUtil::Document> config = ParseDocument(configName, *configText, findings);
  if (!config) return findings.Take();

  const JsonUtil::Value* patterns = JsonUtil::FindMember(*config, "unsupportedVersions");
  if (patterns != nullptr && !patterns->IsArray()) {
    findings.Add(configName, "\"unsupportedVersions\" is not an array: launchers read no pattern from it");
  } else if (patterns != nullptr) {
    for (const JsonUtil::Value& element : patterns->GetArray()) {
      if (!element.IsString()) {
        findings.Add(configName, "\"unsupportedVersions\" holds a value that is not a string");
      } else if (!PatternCanMatch(element.GetString())) {
        findings.Add(configName, std::string("pattern \"") + element.GetString() + "\" matches no version");
      }
    }
  }

  const JsonUtil::Value* last = JsonUtil::FindMember(*config, "lastVersion");
  if (last == nullptr || !last->IsString()) {
    findings.Add(configName, "\"lastVersion\" is missing or not a string");
    return findings.Take();
  }
  const std::string lastVersion = last->GetString();
  if (!IsPublishableVersion(lastVersion)) {
    findings.Add(configName, "\"lastVersion\" " + lastVersion + " is not a version a.b.c of digits");
  }
  const std::string underscored = ReplaceAll(lastVersion, ".", "_");
  const std::string fileInfoName = packageFolderName + "/fileInfo_" + underscored + ".json";
  const std::optional<std::string> fileInfoText = ReadBytes(serverFolder + "/" + fileInfoName);
  if (!fileInfoText) {
    findings.Add(fileInfoName, "missing (named by \"lastVersion\" " + lastVersion + ")");
    return findings.Take();
  }
  if (key != nullptr) {
    CheckSignature(fileInfoName, serverFolder + "/" + fileInfoName, *fileInfoText, *key, false,
                   findings);
  } else {
    CheckUnsignedBesideSigned(serverFolder, {configName, fileInfoName}, findings);
  }
  CheckNewerFileInfos(serverFolder, configName, lastVersion, findings);
  const JsonUtil::Value* named = JsonUtil::FindMember(*config, "fileInfoSha256");
  if (named != nullptr && (!named->IsString() || named->GetString() != TextSha256(*fileInfoText))) {
    findings.Add(fileInfoName,
                 "not the document " + configName +
                     " names in \"fileInfoSha256\": launchers with the key refuse it");
  }
  const std::optional<JsonUtil::Document> fileInfo = ParseDocument(fileInfoName, *fileInfoText, findings);
  if (fileInfo) CheckFileInfo(serverFolder, fileInfoName, underscored, *fileInfo, findings);
  return findings.Take();
}
