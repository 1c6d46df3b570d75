// Verification only: the launcher never holds a secret key, so signing lives in the publisher's
// tool. Every length is checked before a byte is copied; anything unexpected is "malformed".

#include "update/minisign.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace minisign {

namespace {

constexpr std::string_view kUntrusted = "untrusted comment:";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr size_t kPublicKeyBytes = 2 + 8 + 32;
constexpr size_t kSignatureBytes = 2 + 8 + 64;

bool SodiumReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = sodium_init() >= 0; });
  return ready;
}

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

// Splits at LF, dropping one CR before each LF; a final line without LF counts.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    uint32_t group = 0;
    int padding = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const int value = Base64Value(c);
      if (value < 0 || padding > 0) return std::nullopt;
      group = (group << 6) | static_cast<uint32_t>(value);
    }
    out.push_back(static_cast<char>((group >> 16) & 0xFF));
    if (padding < 2) out.push_back(static_cast<char>((group >> 8) & 0xFF));
    if (padding < 1) out.push_back(static_cast<char>(group & 0xFF));
  }
  return out;
}

std::optional<PublicKey> ParsePublicKey(std::string_view text, std::string* error) {
  // A key file's first line is its comment; the key is the first line that is not one.
  std::string_view line;
  for (std::string_view candidate : Lines(text)) {
    if (StartsWith(candidate, kUntrusted) || candidate.empty()) continue;
    line = candidate;
    break;
  }
  const std::optional<std::string> bytes = Base64Decode(line);
  if (!bytes || bytes->size() != kPublicKeyBytes || bytes->compare(0, 2, "Ed") != 0) {
    Fail(error, "public key malformed");
    return std::nullopt;
  }
  PublicKey key;
  std::memcpy(key.keyId.data(), bytes->data() + 2, key.keyId.size());
  std::memcpy(key.key.data(), bytes->data() + 10, key.key.size());
  return key;
}

std::optional<Signature> ParseSignature(std::string_view text, std::string* error) {
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.size() < 4 || !StartsWith(lines[0], kUntrusted) || !StartsWith(lines[2], kTrusted)) {
    Fail(error, "signature malformed");
    return std::nullopt;
  }
  for (size_t i = 4; i < lines.size(); ++i) {
    if (!lines[i].empty()) {
      Fail(error, "signature malformed");
      return std::nullopt;
    }
  }
  const std::optional<std::string> bytes = Base64Decode(lines[1]);
  const std::optional<std::string> global = Base64Decode(lines[3]);
  if (!bytes || bytes->size() != kSignatureBytes || !global || global->size() != 64) {
    Fail(error, "signature malformed");
    return std::nullopt;
  }
  Signature signature;
  if (bytes->compare(0, 2, "ED") == 0) {
    signature.prehashed = true;
  } else if (bytes->compare(0, 2, "Ed") == 0) {
    signature.prehashed = false;
  } else {
    Fail(error, "signature algorithm unknown");
    return std::nullopt;
  }
  std::memcpy(signature.keyId.data(), bytes->data() + 2, signature.keyId.size());
  std::memcpy(signature.signature.data(), bytes->data() + 10, signature.signature.size());
  signature.trustedComment = std::string(lines[2].substr(kTrusted.size()));
  std::memcpy(signature.globalSignature.data(), global->data(), signature.globalSignature.size());
  return signature;
}

bool Verify(const PublicKey& key, const Signature& signature, std::string_view message,
            std::string* error) {
  if (!SodiumReady()) return Fail(error, "libsodium could not start");
  if (key.keyId != signature.keyId) return Fail(error, "signature made by another key");
  const auto* data = reinterpret_cast<const unsigned char*>(message.data());
  int verdict = -1;
  if (signature.prehashed) {
    unsigned char digest[crypto_generichash_BYTES_MAX];
    crypto_generichash(digest, sizeof digest, data, message.size(), nullptr, 0);
    verdict = crypto_sign_verify_detached(signature.signature.data(), digest, sizeof digest,
                                          key.key.data());
  } else {
    verdict = crypto_sign_verify_detached(signature.signature.data(), data, message.size(),
                                          key.key.data());
  }
  if (verdict != 0) return Fail(error, "signature does not match the document");
  // The trusted comment is bound to this very signature, so it cannot be moved to another one.
  std::string global(reinterpret_cast<const char*>(signature.signature.data()),
                     signature.signature.size());
  global += signature.trustedComment;
  if (crypto_sign_verify_detached(signature.globalSignature.data(),
                                  reinterpret_cast<const unsigned char*>(global.data()),
                                  global.size(), key.key.data()) != 0) {
    return Fail(error, "trusted comment does not match its signature");
  }
  return true;
}

std::optional<int64_t> TrustedTimestamp(std::string_view trustedComment) {
  constexpr std::string_view kKey = "timestamp:";
  size_t at = 0;
  // A field starts the comment or follows a tab.
  while (at < trustedComment.size()) {
    const size_t end = std::min(trustedComment.find('\t', at), trustedComment.size());
    const std::string_view field = trustedComment.substr(at, end - at);
    if (StartsWith(field, kKey)) {
      const std::string_view digits = field.substr(kKey.size());
      if (digits.empty() || digits.size() > 18) return std::nullopt;
      int64_t value = 0;
      for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
      }
      return value;
    }
    at = end + 1;
  }
  return std::nullopt;
}

}  // namespace minisign
