#include "update/text_digest.h"

#include "platform/sha256.h"

std::string TextSha256(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  platform::Sha256 sha;
  platform::Sha256::Digest digest{};
  std::string failure;
  if (!sha.Begin(&failure) || !sha.Update(bytes.data(), bytes.size(), &failure) ||
      !sha.Finish(&digest, &failure)) {
    return {};
  }
  std::string hex;
  for (const uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}
