#pragma once

#include <cstdint>
#include <string>

// MD5 of the whole file as 32 lower-case hex digits; empty when no digest could be made.
// Hashes in fixed chunks, so memory stays constant whatever the file's size.
std::string FileMd5(const std::string& path);

// SHA-256 of the whole file as 64 lower-case hex digits; empty when no digest could be made.
std::string FileSha256(const std::string& path);

// Both digests of a package from one read of the file (a package of gigabytes is read once, not
// twice); both empty when either could not be made.
struct PackageDigests {
  std::string md5;
  std::string sha256;
};
PackageDigests FileMd5AndSha256(const std::string& path);

// Empty without a word when nothing is at the path, else FileMd5.
std::string FileMd5IfExists(const std::string& path);

// The file's size in bytes (64-bit); 0 when it cannot be opened.
uint64_t FileSize64(const std::string& path);
