#include "install/installed_path.h"

#include "fs/safe_path.h"
#include "install/zip_fields.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

std::optional<std::string> InstalledPathOf(const std::string& installDir, const std::string& name) {
  if (name.empty() || LeadsOutsideDestination(name)) return std::nullopt;
  std::string path = platform::utf8::FromNarrow(installDir);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += platform::kPathSeparator;
  // Archive names may use either separator, as the extraction accepts.
  for (char c : name) path += c == '/' || c == '\\' ? platform::kPathSeparator : c;
  return path;
}

bool IsFolderEntry(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

std::string FileSystemKey(const std::string& name) {
  // Names differing only in case or in a piece's trailing dots and spaces are one file there.
  constexpr bool kWindowsNames = platform::kPathSeparator == '\\';
  std::string key, piece;
  const auto endPiece = [&] {
    if (kWindowsNames) {
      while (!piece.empty() && (piece.back() == '.' || piece.back() == ' ')) piece.pop_back();
    }
    if (!piece.empty() && piece != ".") {
      if (!key.empty()) key += '/';
      key += piece;
    }
    piece.clear();
  };
  for (char c : name) {
    if (c == '/' || c == '\\') {
      endPiece();
    } else {
      piece += kWindowsNames && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  endPiece();
  return key;
}

bool EntryMarksExecutable(const ZipDirectoryEntry& entry) {
  // Packers on Unix record the file mode in the high half of the external attributes, as the
  // extraction reads it.
  const std::string& record = entry.centralRecord;
  if (record.size() < zip_fields::kCentralBytes) return false;
  return (zip_fields::Le16(record, 4) >> 8) == 3 && ((zip_fields::Le32(record, 38) >> 16) & 0111) != 0;
}
