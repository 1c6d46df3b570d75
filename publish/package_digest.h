#pragma once
// The digests a fileInfo document states for its package, made in one pass over the file.

#include <cstdint>
#include <functional>
#include <string>

struct PackageDigest {
  std::string md5;     // 32 lower-case hex digits, as the launcher prints its own
  std::string sha256;  // 64 lower-case hex digits
  uint64_t bytes = 0;
};

// Nothing set (empty digests) when the file cannot be read; progress hears the bytes read, and
// chunks, when given, gets them in order.
PackageDigest DigestPackage(
    const std::string& path, const std::function<void(uint64_t doneBytes)>& progress,
    const std::function<void(const unsigned char* bytes, size_t size)>& chunks = nullptr);

