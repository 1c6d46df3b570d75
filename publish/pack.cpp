#include "publish/pack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "core/layout.h"
#include "core/strings.h"
#include "fs/stdio_file.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "publish/documents.h"
#include "publish/game_folder.h"
#include "publish/interruption.h"
#include "publish/package_digest.h"
#include "publish/progress_line.h"
#include "publish/release_set.h"
#include "publish/signing.h"
#include "publish/version_rules.h"
#include "publish/zip_hashes.h"
#include "publish/zip_writer.h"
#include "update/json_util.h"
#include "update/minisign.h"
#include "update/text_digest.h"
#include "update/version_strings.h"

namespace fs = std::filesystem;

namespace {

int Refuse(const std::string& why) {
  std::fprintf(stderr, "pack: %s\n", why.c_str());
  return 1;
}

std::optional<std::string> ReadIfPresent(const std::string& path, bool* unreadable) {
  *unreadable = false;
  std::error_code failure;
  if (!fs::exists(path, failure)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *unreadable = true;
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Launchers keep the newest config time they accepted and refuse anything older: the new
// signatures come after every one in the folder, even one a fast clock made in the future.
int64_t NextTimestamp(const std::string& folder) {
  int64_t next = NowSeconds();
  std::error_code failure;
  for (fs::directory_iterator it(folder, failure), end; !failure && it != end;
       it.increment(failure)) {
    if (it->path().extension() != ".minisig" || !it->is_regular_file(failure)) continue;
    std::ifstream in(it->path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (const auto signature = minisign::ParseSignature(text, &error)) {
      if (const auto stamp = minisign::TrustedTimestamp(signature->trustedComment)) {
        next = std::max(next, *stamp + 1);
      }
    }
  }
  return next;
}

// The document and, with a key, its signature join the set. Without a key a signature left from
// an earlier signed release would no longer match: it is said, since launchers with the key would
// refuse the document.
bool AddDocument(ReleaseSet& set, const std::string& path, const std::string& name,
                 const std::string& text, const SecretKey* key, int64_t timestamp) {
  std::string error;
  if (!set.Add(path, text, &error)) return Refuse(error) == 0;
  if (key != nullptr) {
    if (!set.Add(path + ".minisig", SignatureText(*key, text, TrustedComment(timestamp, name)),
                 &error)) {
      return Refuse(error) == 0;
    }
  } else if (platform::PathExists(path + ".minisig")) {
    std::fprintf(stderr, "pack: warning: %s.minisig belongs to the previous text; sign %s again\n",
                 path.c_str(), path.c_str());
  }
  return true;
}

struct CurrentConfig {
  std::string lastVersion;
  std::vector<std::string> patterns;
};

CurrentConfig ReadCurrent(const std::string& text) {
  CurrentConfig current;
  if (text.empty()) return current;
  try {
    const JsonUtil::Document config = JsonUtil::ToObject(text);
    const JsonUtil::Value* last = JsonUtil::FindMember(config, "lastVersion");
    if (last != nullptr && last->IsString()) current.lastVersion = last->GetString();
    JsonUtil::ForEachInArray(config, "unsupportedVersions", [&](const JsonUtil::Value& value) {
      if (value.IsString()) current.patterns.emplace_back(value.GetString());
    });
  } catch (const JsonToObjectException&) {
  }
  return current;
}

// Refuses a lastVersion that sends players back, unless rolling back: then says what they get.
bool VersionMovesOn(const PackRequest& request, const CurrentConfig& current) {
  std::vector<std::string> patterns = current.patterns;
  patterns.insert(patterns.end(), request.unsupported.begin(), request.unsupported.end());
  for (const std::string& pattern : patterns) {
    if (!VersionMatches(pattern, request.version)) continue;
    if (!request.rollback) {
      Refuse("version " + request.version + " is matched by \"" + pattern +
             "\" in unsupportedVersions: launchers would install it and then call it "
             "unsupported; --rollback publishes it anyway");
      return false;
    }
  }
  const std::optional<int> order = CompareVersions(request.version, current.lastVersion);
  if (order && *order < 0) {
    if (!request.rollback) {
      Refuse("version " + request.version + " is older than lastVersion " + current.lastVersion +
             " in the config; --rollback publishes it anyway");
      return false;
    }
    std::printf(
        "rolling back: players on %s are sent back to %s (a launcher keeps an installed "
        "version while its cached fileInfo is under 10 days old, unless a pattern in "
        "unsupportedVersions matches it)\n",
        current.lastVersion.c_str(), request.version.c_str());
  }
  return true;
}

std::string CountOfFiles(size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files");
}

}  // namespace

int Pack(const PackRequest& request) {
  if (!IsPublishableVersion(request.version)) {
    return Refuse("version " + request.version +
                  " is not three numbers a.b.c without leading zeros, each below 2147483648");
  }
  for (const std::string& pattern : request.unsupported) {
    if (!PatternCanMatch(pattern)) {
      return Refuse("pattern " + pattern + " matches no version (a.b.c, each piece digits or x)");
    }
    if (VersionMatches(pattern, request.version)) {
      return Refuse("pattern " + pattern + " would mark " + request.version + " itself unsupported");
    }
  }

  // A server folder inside the game folder would be packed into the next version's package.
  std::error_code failure;
  const fs::path below = fs::weakly_canonical(request.serverFolder, failure)
                             .lexically_relative(fs::weakly_canonical(request.gameFolder, failure));
  if (!failure && !below.empty() && *below.begin() != "..") {
    return Refuse("the server folder " + request.serverFolder + " lies inside the game folder");
  }

  std::vector<GameEntry> entries;
  std::string error;
  if (!ListGameFolder(request.gameFolder, &entries, &error)) return Refuse(error);
  bool hasGame = false;
  uint64_t total = 0;
  std::vector<std::string> files;
  for (const GameEntry& entry : entries) {
    hasGame = hasGame || (!entry.folder && entry.name == gameExeName);
    if (!entry.folder) files.push_back(entry.name);
    total += entry.bytes;
  }
  if (!hasGame) return Refuse(request.gameFolder + " holds no " + gameExeName + " at its top");

  const std::string underscored = ReplaceAll(request.version, ".", "_");
  const std::string folder = request.serverFolder + "/" + packageFolderName;
  const std::string zipName = packageFolderName + "/game_" + underscored + ".zip";
  const std::string zipPath = request.serverFolder + "/" + zipName;
  const std::string fileInfoName = "fileInfo_" + underscored + ".json";
  const std::string fileInfoPath = folder + "/" + fileInfoName;
  const std::string configPath = folder + "/config.json";

  // Published means a document names it; a package alone is what a failed pack left.
  if (!request.replace && platform::PathExists(fileInfoPath)) {
    return Refuse("version " + request.version + " is published already (" + fileInfoPath +
                  "); --replace publishes it again");
  }
  bool unreadable = false;
  const std::optional<std::string> currentConfig = ReadIfPresent(configPath, &unreadable);
  if (unreadable) return Refuse("cannot read " + configPath);
  if (!UpdatedConfigDocument(currentConfig.value_or(""), request.version, request.unsupported,
                             "")) {
    return Refuse(configPath + " is not a JSON object; mend it or move it away");
  }
  if (!VersionMovesOn(request, ReadCurrent(currentConfig.value_or("")))) return 1;

  fs::create_directories(folder, failure);
  if (failure) return Refuse("cannot create " + folder + ": " + failure.message());

  CatchInterrupts();
  const auto goOn = [] { return !Interrupted(); };
  ReleaseSet set;
  set.AddWritten(zipPath);
  const std::string temporary = ReleaseSet::TemporaryFor(zipPath);
  {
    ProgressLine progress("Packing " + zipName, total);
    const bool written = WritePackage(
        temporary, entries,
        [&progress, &goOn](uint64_t done) {
          progress.Update(done);
          return goOn();
        },
        &error);
    if (!written) return Refuse(Interrupted() ? "interrupted; " + folder + " is as it was" : error);
  }
  {
    FilePtr written(std::fopen(temporary.c_str(), "rb"));
    if (written == nullptr || !platform::FlushFileToDisk(written.get())) {
      return Refuse("cannot put " + temporary + " on the disk");
    }
  }
  std::optional<std::vector<ZipDirectoryEntry>> directory = ReadZipDirectoryOfFile(temporary);
  if (!directory) return Refuse("cannot read the directory of " + temporary + " back");
  ZipPartHasher hasher(std::move(*directory));
  PackageDigest digest;
  {
    ProgressLine progress("Digesting " + zipName, fs::file_size(temporary, failure));
    digest = DigestPackage(
        temporary, [&progress](uint64_t done) { progress.Update(done); },
        [&hasher](const unsigned char* bytes, size_t size) { hasher.Feed(bytes, size); });
  }
  if (digest.md5.empty()) return Refuse("cannot read " + temporary + " back");
  const std::optional<ZipHashes> parts = hasher.Finish();
  if (!parts) return Refuse("cannot read the entries of " + temporary + " back");

  FileInfoContent content;
  content.zipName = zipName;
  content.zipMd5 = digest.md5;
  content.zipBytes = digest.bytes;
  content.zipSha256 = digest.sha256;
  content.fileNameList = files;
  content.zipDirectorySha256 = parts->directorySha256;
  content.zipEntrySha256 = parts->entrySha256;
  const std::string fileInfo = FileInfoDocument(content);
  const std::optional<std::string> config = UpdatedConfigDocument(
      currentConfig.value_or(""), request.version, request.unsupported, TextSha256(fileInfo));
  const int64_t timestamp = NextTimestamp(folder);
  if (!AddDocument(set, fileInfoPath, fileInfoName, fileInfo, request.key, timestamp) ||
      !AddDocument(set, configPath, "config.json", *config, request.key, timestamp)) {
    return 1;
  }
  if (!set.Commit([&goOn] { return !goOn(); }, &error)) {
    return Refuse((Interrupted() ? std::string("interrupted") : error) + "; " + folder +
                  " is as it was");
  }

  std::printf("published %s: %s (%llu bytes, %s)\n  zipMd5 %s\n  zipSha256 %s\n",
              request.version.c_str(), zipPath.c_str(),
              static_cast<unsigned long long>(digest.bytes), CountOfFiles(files.size()).c_str(),
              digest.md5.c_str(), digest.sha256.c_str());
  if (request.key != nullptr) {
    std::printf("  documents signed with key %s\n", KeyIdText(request.key->keyId).c_str());
  }
  return 0;
}
