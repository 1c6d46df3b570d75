#include "publish/package_digest.h"

#include <sodium.h>

#include <cstdio>
#include <vector>

#include "core/strings.h"
#include "fs/stdio_file.h"
#include "platform/md5.h"

PackageDigest DigestPackage(const std::string& path,
                            const std::function<void(uint64_t doneBytes)>& progress,
                            const std::function<void(const unsigned char*, size_t)>& chunks) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (in == nullptr) return {};
  platform::Md5 md5;
  std::string failure;
  if (!md5.Begin(&failure)) return {};
  crypto_hash_sha256_state sha256;
  crypto_hash_sha256_init(&sha256);

  std::vector<unsigned char> buffer(1 << 20);
  uint64_t done = 0;
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got == 0) break;
    if (!md5.Update(buffer.data(), got, &failure)) return {};
    crypto_hash_sha256_update(&sha256, buffer.data(), got);
    if (chunks) chunks(buffer.data(), got);
    done += got;
    if (progress) progress(done);
  }
  if (std::ferror(in.get()) != 0) return {};

  platform::Md5::Digest md5Value{};
  if (!md5.Finish(&md5Value, &failure)) return {};
  unsigned char shaValue[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&sha256, shaValue);
  PackageDigest digest;
  digest.md5 = LowerHex(md5Value.data(), md5Value.size());
  digest.sha256 = LowerHex(shaValue, sizeof shaValue);
  digest.bytes = done;
  return digest;
}
