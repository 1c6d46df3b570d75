#include "fs/text_file.h"

#include <cstdio>

#include "fs/locked_file_retry.h"
#include "fs/stdio_file.h"
#include "platform/files.h"
#include "platform/replace_file.h"
#include "platform/utf8_files.h"

std::string ReadTextFile(const std::string& path) {
  if (!platform::PathExists(path)) return {};
  FilePtr file(platform::OpenFile(path, "rb"));
  if (!file) return {};
  std::string raw;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) raw.append(buffer, n);

  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  return text;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::string raw;
  raw.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') raw += '\r';
    raw += c;
  }
  // Truncating the file in place would leave it empty or half-written to whoever reads it after
  // a crash or a power cut: the record would forget the package, the cache would not parse.
  const std::string staging = path + ".new";
  // A scanner reading the old file, or the new one it just saw written, holds the rename back
  // for a moment; the new content is on the disk already and only the rename is made again.
  if (platform::WriteFileToDisk(staging, raw) &&
      RetryWhileHeld("replace file", platform::utf8::FromNarrow(path),
                     [&staging, &path] { return platform::ReplaceByRename(staging, path); })) {
    return true;
  }
  platform::RemoveFile(staging);
  return false;
}
