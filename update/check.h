#pragma once
// The update check: is the installed game current, or which package must be fetched and from
// which byte offset. The verdict arrives once per run through onResult, on a worker thread.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "update/fallback_request.h"

// What a fileInfo document says about the one package of a version.
struct PackageInfo {
  std::string zipName;
  std::string zipMd5;
  int64_t zipBytes = 104857600;
  // False when zipBytes is the default: then it says nothing about the real package's size.
  bool zipBytesStated = false;
  std::vector<std::string> fileNameList;
  // SHA-256 of the package in lower-case hex, when the document states it; checked with zipMd5.
  std::string zipSha256;
  // SHA-256 of the package's central directory and of each entry's bytes (local header, data,
  // descriptor) by entry name, when stated: what a differential update is checked against.
  std::string zipDirectorySha256;
  std::map<std::string, std::string> zipEntrySha256;
};

// (status, first text, second text, first number, second number):
//   "needUpdate"    zipName, zipMd5, zipBytes, bytes of the local package that may be kept
//   "notNeedUpdate" "", "", 0, 0
//   "error"         "校验文件时错误\n" + the failure's text, "", 0, 0
using CheckCallback = std::function<void(const std::string& status, const std::string& first,
                                         const std::string& second, int64_t firstNumber,
                                         int64_t secondNumber)>;

class Check {
 public:
  // Text of the newest fileInfo document that arrived with "succ", and the cache path for it
  // (set only for a remote document). Consumed by SaveLastFileInfo at launch.
  static std::string lastFileInfoText;
  static std::string lastFileInfoPath;
  // The signature that came with that text when a key is in force (else empty); cached beside it.
  static std::string lastFileInfoSignature;

  // Starts the check and returns at once. firstDelayMs, when given, replaces the fetch delay of
  // the config document (and its signature): the caller has already spent the rest of it, as the
  // launch does bringing its window up. Every later document waits fetchSettings.initialDelayMs.
  void Run(CheckCallback onResult, std::optional<int> firstDelayMs = std::nullopt);
  void OnConfigResult(const CheckCallback& onResult, const std::string& status,
                      const std::string& text);
  // With a trusted key: the config goes on only when its signature verifies and is no older than
  // the newest one accepted before (kept in the download record as "configTimestamp").
  void AcceptConfig(const CheckCallback& onResult, const std::string& fileName,
                    const std::string& text, const std::string& signature);
  void LoadFileInfo(const CheckCallback& onResult, const std::string& configText);
  // "localFileInfo" (path: the fresh cache) or "remoteFileInfo" (path: the remote document).
  // Throws JsonToObjectException when the config text is not a JSON object.
  std::string SelectFileInfo(const std::string& configText, std::string& path);
  void OnFileInfoResult(const CheckCallback& onResult, const std::string& configText,
                        const std::string& remotePath, const std::string& status,
                        const std::string& text);
  // With a trusted key: the fileInfo goes on only when its signature verifies and, when the
  // config names a "fileInfoSha256", its bytes have that digest.
  void AcceptFileInfo(const CheckCallback& onResult, const std::string& configText,
                      const std::string& remotePath, const std::string& text,
                      const std::string& signature);
  // False only when the config names a "fileInfoSha256" the text does not have; a config
  // without one (an older publisher's) names nothing.
  static bool FileInfoIsNamed(const std::string& configText, const std::string& fileInfoText);
  // Fetches a document and its signature (documentPath + ".minisig", where "not found" reads as
  // an empty signature) side by side; onBoth gets both texts, onRetry runs after the time-out
  // prompt's Retry.
  void FetchSigned(const std::string& documentPath,
                   std::function<void(const std::string&, const std::string&)> onBoth,
                   std::function<void()> onRetry, const FetchSettings& settings);
  void StartVerify(const CheckCallback& onResult, const std::string& status,
                   const std::string& text);
  void VerifyPackage(const std::string& fileInfoText, const CheckCallback& onResult);

  static PackageInfo ReadPackageInfo(const std::string& fileInfoText);
  bool RecordMatches(const std::string& zipName, const std::string& zipMd5, int64_t zipBytes);
  int64_t ResumeOffset(const std::string& zipName, const std::string& zipMd5, int64_t zipBytes);
  static bool FilesPresent(const std::vector<std::string>& fileNameList);
  static std::vector<std::string> MakeUrls(const std::string& relativePath);

  // Writes the pending fileInfo text to its cache path once, then forgets both.
  static void SaveLastFileInfo();

  // Local path of the package named by the current fileInfo document.
  std::string packagePath;
  // Set with each "needUpdate": the size the package file may not outgrow, when the document
  // states one (a negative statement allows nothing). Read on the thread that receives the verdict.
  std::optional<uint64_t> packageByteLimit;
  // Set with each "needUpdate": the package's SHA-256 when the document states one, else empty.
  // Read where the package is verified, after the verdict.
  std::string packageSha256;
  // Set with each "needUpdate": the document's directory and entry hashes (empty when absent).
  std::string packageDirectorySha256;
  std::map<std::string, std::string> packageEntrySha256;
  // How documents are fetched; tests shorten the waits.
  FetchSettings fetchSettings;
};
