#include "install/file_digest.h"

#include <array>
#include <cstdio>
#include <memory>
#include <tuple>
#include <type_traits>

#include "core/strings.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/sha256.h"

namespace {

constexpr size_t kChunkBytes = 1 << 20;

void LogFailure(const char* message) {
  platform::Diagnostic("%s%d\n", message, platform::LastErrorCode());
}

// Hex digests of the whole file through the platform's streaming hashes, all fed from one read
// of the file; all empty when the file or a hash fails (the step's line is logged).
template <class... Hash>
std::array<std::string, sizeof...(Hash)> FileDigests(const std::string& path) {
  std::array<std::string, sizeof...(Hash)> texts;
  platform::InputFile file;
  if (!file.Open(path)) {
    LogFailure("CreateFile go wrong :");
    return texts;
  }
  std::tuple<Hash...> hashes;
  std::string failure;
  const auto logged = [&failure](bool ok) {
    if (!ok) platform::Diagnostic("%s\n", failure.c_str());
    return ok;
  };
  if (!std::apply([&](auto&... hash) { return logged((hash.Begin(&failure) && ...)); }, hashes)) {
    return texts;
  }
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunkBytes]);
  for (;;) {
    const int64_t n = file.Read(buffer.get(), kChunkBytes);
    if (n < 0) {
      LogFailure("ReadFile go wrong:");
      return texts;
    }
    if (n == 0) break;
    const auto size = static_cast<size_t>(n);
    if (!std::apply(
            [&](auto&... hash) {
              return logged((hash.Update(buffer.get(), size, &failure) && ...));
            },
            hashes)) {
      return texts;
    }
  }
  file.Close();

  std::array<std::string, sizeof...(Hash)> made;
  size_t index = 0;
  const bool finished = std::apply(
      [&](auto&... hash) {
        const auto finish = [&](auto& one) {
          typename std::remove_reference_t<decltype(one)>::Digest digest{};
          if (!one.Finish(&digest, &failure)) return false;
          made[index] = LowerHex(digest.data(), digest.size());
          platform::Diagnostic("%s\n", made[index].c_str());
          ++index;
          return true;
        };
        return logged((finish(hash) && ...));
      },
      hashes);
  return finished ? made : texts;
}

}  // namespace

std::string FileMd5(const std::string& path) { return FileDigests<platform::Md5>(path)[0]; }

std::string FileSha256(const std::string& path) { return FileDigests<platform::Sha256>(path)[0]; }

PackageDigests FileMd5AndSha256(const std::string& path) {
  const auto texts = FileDigests<platform::Md5, platform::Sha256>(path);
  return {texts[0], texts[1]};
}

std::string FileMd5IfExists(const std::string& path) {
  if (!platform::PathExists(path)) return {};
  return FileMd5(path);
}

uint64_t FileSize64(const std::string& path) { return platform::FileSize(path); }
