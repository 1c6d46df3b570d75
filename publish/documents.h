#pragma once
// The two documents a launcher reads, written as it reads them.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct FileInfoContent {
  std::string zipName;
  std::string zipMd5;
  uint64_t zipBytes = 0;
  std::string zipSha256;
  std::vector<std::string> fileNameList;
  // For launchers that fetch only the changed entries; left out of the document when empty.
  std::string zipDirectorySha256;
  std::vector<std::pair<std::string, std::string>> zipEntrySha256;  // entry name, digest
};

std::string FileInfoDocument(const FileInfoContent& content);

// The config document with "lastVersion" set, the patterns added to "unsupportedVersions"
// (each once) and "fileInfoSha256" set to the digest of lastVersion's fileInfo (left as it was
// when empty). Every other member of the current document stays as it was, in its place;
// currentText empty means there is none yet. Nothing when the current text is not a JSON object.
std::optional<std::string> UpdatedConfigDocument(const std::string& currentText,
                                                 const std::string& lastVersion,
                                                 const std::vector<std::string>& unsupported,
                                                 const std::string& fileInfoSha256);
