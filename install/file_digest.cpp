#include "install/file_digest.h"

#include <cstdio>
#include <memory>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/md5.h"

namespace {

constexpr size_t kChunkBytes = 1 << 20;

void LogFailure(const char* message) {
  platform::Diagnostic("%s%d\n", message, platform::LastErrorCode());
}

}  // namespace

std::string FileMd5(const std::string& path) {
  platform::InputFile file;
  if (!file.Open(path)) {
    LogFailure("CreateFile go wrong :");
    return {};
  }
  platform::Md5 md5;
  std::string failure;
  if (!md5.Begin(&failure)) {
    platform::Diagnostic("%s\n", failure.c_str());
    return {};
  }
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunkBytes]);
  for (;;) {
    const int64_t n = file.Read(buffer.get(), kChunkBytes);
    if (n < 0) {
      LogFailure("ReadFile go wrong:");
      return {};
    }
    if (n == 0) break;
    if (!md5.Update(buffer.get(), static_cast<size_t>(n), &failure)) {
      platform::Diagnostic("%s\n", failure.c_str());
      return {};
    }
  }
  file.Close();

  platform::Md5::Digest digest{};
  if (!md5.Finish(&digest, &failure)) {
    platform::Diagnostic("%s\n", failure.c_str());
    return {};
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xF];
  }
  platform::Diagnostic("%s\n", text.c_str());
  return text;
}

std::string FileMd5IfExists(const std::string& path) {
  if (!platform::PathExists(path)) return {};
  return FileMd5(path);
}

uint64_t FileSize64(const std::string& path) { return platform::FileSize(path); }
