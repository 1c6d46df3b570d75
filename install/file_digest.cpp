#include "install/file_digest.h"

#include <cstdio>
#include <memory>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/sha256.h"

namespace {

constexpr size_t kChunkBytes = 1 << 20;

void LogFailure(const char* message) {
  platform::Diagnostic("%s%d\n", message, platform::LastErrorCode());
}

// Hex digest of the whole file through one of the platform's streaming hashes; empty when the
// file or the hash fails (the step's line is logged).
template <class Hash>
std::string FileDigest(const std::string& path) {
  platform::InputFile file;
  if (!file.Open(path)) {
    LogFailure("CreateFile go wrong :");
    return {};
  }
  Hash hash;
  std::string failure;
  if (!hash.Begin(&failure)) {
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
    if (!hash.Update(buffer.get(), static_cast<size_t>(n), &failure)) {
      platform::Diagnostic("%s\n", failure.c_str());
      return {};
    }
  }
  file.Close();

  typename Hash::Digest digest{};
  if (!hash.Finish(&digest, &failure)) {
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

}  // namespace

std::string FileMd5(const std::string& path) { return FileDigest<platform::Md5>(path); }

std::string FileSha256(const std::string& path) { return FileDigest<platform::Sha256>(path); }

std::string FileMd5IfExists(const std::string& path) {
  if (!platform::PathExists(path)) return {};
  return FileMd5(path);
}

uint64_t FileSize64(const std::string& path) { return platform::FileSize(path); }
