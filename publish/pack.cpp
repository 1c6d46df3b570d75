#include "publish/pack.h"

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
#include "publish/atomic_file.h"
#include "publish/documents.h"
#include "publish/game_folder.h"
#include "publish/package_digest.h"
#include "publish/progress_line.h"
#include "publish/signing.h"
#include "publish/version_rules.h"
#include "publish/zip_hashes.h"
#include "publish/zip_writer.h"
#include "update/version_strings.h"

namespace fs = std::filesystem;

namespace {

int Refuse(const std::string& why) {
  std::printf("pack: %s\n", why.c_str());
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

// The document, then its signature when there is a key. Without a key a signature left from an
// earlier signed release would no longer match: it is said, since launchers with the key would
// refuse the document.
bool PublishDocument(const std::string& path, const std::string& name, const std::string& text,
                     const SecretKey* key, int64_t timestamp) {
  if (!PublishFile(path, text)) {
    std::printf("pack: cannot write %s\n", path.c_str());
    return false;
  }
  if (key != nullptr) {
    if (!PublishFile(path + ".minisig", SignatureText(*key, text, TrustedComment(timestamp, name)))) {
      std::printf("pack: cannot write %s.minisig\n", path.c_str());
      return false;
    }
  } else if (platform::PathExists(path + ".minisig")) {
    std::printf("pack: warning: %s.minisig belongs to the previous text; sign %s again\n",
                path.c_str(), path.c_str());
  }
  return true;
}

}  // namespace

int Pack(const PackRequest& request) {
  if (!IsPublishableVersion(request.version)) {
    return Refuse("version " + request.version + " is not three numbers a.b.c");
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

  if (!request.replace && (platform::PathExists(zipPath) || platform::PathExists(fileInfoPath))) {
    return Refuse("version " + request.version + " is published already in " + folder +
                  "; --replace publishes it again");
  }
  bool unreadable = false;
  const std::optional<std::string> currentConfig = ReadIfPresent(configPath, &unreadable);
  if (unreadable) return Refuse("cannot read " + configPath);
  const std::optional<std::string> config =
      UpdatedConfigDocument(currentConfig.value_or(""), request.version, request.unsupported);
  if (!config) return Refuse(configPath + " is not a JSON object; mend it or move it away");

  fs::create_directories(folder, failure);
  if (failure) return Refuse("cannot create " + folder + ": " + failure.message());

  const std::string temporary = TemporaryNameFor(zipPath);
  {
    ProgressLine progress("Packing " + zipName, total);
    if (!WritePackage(temporary, entries, [&progress](uint64_t done) { progress.Update(done); },
                      &error)) {
      platform::RemoveFile(temporary);
      return Refuse(error);
    }
  }
  {
    FilePtr written(std::fopen(temporary.c_str(), "rb"));
    if (written == nullptr || !platform::FlushFileToDisk(written.get())) {
      platform::RemoveFile(temporary);
      return Refuse("cannot put " + temporary + " on the disk");
    }
  }
  std::optional<std::vector<ZipDirectoryEntry>> directory = ReadZipDirectoryOfFile(temporary);
  if (!directory) {
    platform::RemoveFile(temporary);
    return Refuse("cannot read the directory of " + temporary + " back");
  }
  ZipPartHasher hasher(std::move(*directory));
  PackageDigest digest;
  {
    ProgressLine progress("Digesting " + zipName, fs::file_size(temporary, failure));
    digest = DigestPackage(
        temporary, [&progress](uint64_t done) { progress.Update(done); },
        [&hasher](const unsigned char* bytes, size_t size) { hasher.Feed(bytes, size); });
  }
  if (digest.md5.empty()) {
    platform::RemoveFile(temporary);
    return Refuse("cannot read " + temporary + " back");
  }
  const std::optional<ZipHashes> parts = hasher.Finish();
  if (!parts) {
    platform::RemoveFile(temporary);
    return Refuse("cannot read " + temporary + " back");
  }
  if (!PublishTemporary(temporary, zipPath)) return Refuse("cannot rename the package to " + zipPath);

  FileInfoContent content;
  content.zipName = zipName;
  content.zipMd5 = digest.md5;
  content.zipBytes = digest.bytes;
  content.zipSha256 = digest.sha256;
  content.fileNameList = files;
  content.zipDirectorySha256 = parts->directorySha256;
  content.zipEntrySha256 = parts->entrySha256;
  const int64_t timestamp = NowSeconds();
  if (!PublishDocument(fileInfoPath, fileInfoName, FileInfoDocument(content), request.key, timestamp)) {
    return 1;
  }
  if (!PublishDocument(configPath, "config.json", *config, request.key, timestamp)) return 1;

  std::printf("published %s: %s (%llu bytes, %zu files)\n  zipMd5 %s\n  zipSha256 %s\n%s",
              request.version.c_str(), zipPath.c_str(),
              static_cast<unsigned long long>(digest.bytes), files.size(), digest.md5.c_str(),
              digest.sha256.c_str(), request.key != nullptr ? "  documents signed\n" : "");
  return 0;
}
