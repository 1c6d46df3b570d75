#include "publish/secret_key.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr size_t kSaltBytes = 32;
constexpr size_t kKeyNumBytes = 8 + 64 + 32;
constexpr size_t kFileBytes = 2 + 2 + 2 + kSaltBytes + 8 + 8 + kKeyNumBytes;  // 158
constexpr size_t kSaltAt = 6;
constexpr size_t kOpsAt = kSaltAt + kSaltBytes;
constexpr size_t kMemAt = kOpsAt + 8;
constexpr size_t kKeyNumAt = kMemAt + 8;

void InitSodium() {
  // Idempotent and thread-safe after the first call; a failure leaves randomness unusable.
  if (sodium_init() < 0) std::abort();
}

void PutLe64(std::string& bytes, size_t at, uint64_t value) {
  for (size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetLe64(const std::string& bytes, size_t at) {
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return value;
}

std::array<uint8_t, 32> Checksum(const SecretKey& key) {
  std::string covered = "Ed";
  covered.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
  covered.append(reinterpret_cast<const char*>(key.secret.data()), key.secret.size());
  std::array<uint8_t, 32> sum{};
  crypto_generichash(sum.data(), sum.size(), reinterpret_cast<const unsigned char*>(covered.data()),
                     covered.size(), nullptr, 0);
  sodium_memzero(covered.data(), covered.size());
  return sum;
}

// The key stream the 104 key bytes are XORed with.
bool KeyStream(const std::string& password, const std::string& salt, KdfLimits limits,
               unsigned char* stream) {
  return crypto_pwhash_scryptsalsa208sha256(
             stream, kKeyNumBytes, password.data(), password.size(),
             reinterpret_cast<const unsigned char*>(salt.data()), limits.opsLimit,
             static_cast<size_t>(limits.memLimit)) == 0;
}

// The second line of a key file (the base64 one), or the first non-comment line.
std::string_view KeyLine(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.rfind("untrusted comment:", 0) != 0) return line;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace

std::array<uint8_t, 32> SecretKey::PublicPart() const {
  std::array<uint8_t, 32> key{};
  std::copy(secret.begin() + 32, secret.end(), key.begin());
  return key;
}

KdfLimits MinisignKdfLimits() {
  return {crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE,
          crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE};
}

SecretKey GenerateSecretKey() {
  InitSodium();
  SecretKey key;
  std::array<uint8_t, 32> publicKey{};
  crypto_sign_keypair(publicKey.data(), key.secret.data());
  randombytes_buf(key.keyId.data(), key.keyId.size());
  return key;
}

std::string KeyIdText(const minisign::KeyId& keyId) {
  std::string text;
  char digits[3];
  for (size_t i = keyId.size(); i-- > 0;) {
    std::snprintf(digits, sizeof digits, "%02X", keyId[i]);
    text += digits;
  }
  return text;
}

std::string PublicKeyFileText(const SecretKey& key) {
  const std::array<uint8_t, 32> publicKey = key.PublicPart();
  std::string bytes = "Ed";
  bytes.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
  bytes.append(reinterpret_cast<const char*>(publicKey.data()), publicKey.size());
  return "untrusted comment: minisign public key " + KeyIdText(key.keyId) + "\n" +
         minisign::Base64Encode(bytes) + "\n";
}

std::string SecretKeyFileText(const SecretKey& key, const std::string& password, KdfLimits limits) {
  InitSodium();
  const bool encrypted = !password.empty();
  std::string bytes(kFileBytes, '\0');
  bytes.replace(0, 2, "Ed");
  if (encrypted) bytes.replace(2, 2, "Sc");
  bytes.replace(4, 2, "B2");
  if (encrypted) {
    randombytes_buf(bytes.data() + kSaltAt, kSaltBytes);
    PutLe64(bytes, kOpsAt, limits.opsLimit);
    PutLe64(bytes, kMemAt, limits.memLimit);
  }
  const std::array<uint8_t, 32> sum = Checksum(key);
  std::memcpy(bytes.data() + kKeyNumAt, key.keyId.data(), 8);
  std::memcpy(bytes.data() + kKeyNumAt + 8, key.secret.data(), 64);
  std::memcpy(bytes.data() + kKeyNumAt + 72, sum.data(), 32);
  if (encrypted) {
    unsigned char stream[kKeyNumBytes];
    if (!KeyStream(password, bytes.substr(kSaltAt, kSaltBytes), limits, stream)) return {};
    for (size_t i = 0; i < kKeyNumBytes; ++i) bytes[kKeyNumAt + i] ^= static_cast<char>(stream[i]);
    sodium_memzero(stream, sizeof stream);
  }
  std::string text = "untrusted comment: minisign encrypted secret key\n" +
                     minisign::Base64Encode(bytes) + "\n";
  sodium_memzero(bytes.data(), bytes.size());
  return text;
}

std::optional<SecretKey> ReadSecretKey(const std::string& fileText,
                                       const std::function<std::optional<std::string>()>& askPassword,
                                       std::string* error) {
  InitSodium();
  std::optional<std::string> bytes = minisign::Base64Decode(KeyLine(fileText));
  if (!bytes || bytes->size() != kFileBytes) {
    *error = "not a minisign secret key file";
    return std::nullopt;
  }
  if (bytes->compare(0, 2, "Ed") != 0 || bytes->compare(4, 2, "B2") != 0) {
    *error = "a secret key of an algorithm this tool does not know";
    return std::nullopt;
  }
  const std::string kdf = bytes->substr(2, 2);
  const bool encrypted = kdf == "Sc";
  if (!encrypted && kdf != std::string(2, '\0')) {
    *error = "a secret key protected in a way this tool does not know";
    return std::nullopt;
  }
  if (encrypted) {
    const std::optional<std::string> password = askPassword ? askPassword() : std::nullopt;
    if (!password) {
      *error = "the secret key is encrypted and no password was given";
      return std::nullopt;
    }
    const KdfLimits limits{GetLe64(*bytes, kOpsAt), GetLe64(*bytes, kMemAt)};
    unsigned char stream[kKeyNumBytes];
    if (!KeyStream(*password, bytes->substr(kSaltAt, kSaltBytes), limits, stream)) {
      *error = "could not derive the key from the password (out of memory?)";
      return std::nullopt;
    }
    for (size_t i = 0; i < kKeyNumBytes; ++i) (*bytes)[kKeyNumAt + i] ^= static_cast<char>(stream[i]);
    sodium_memzero(stream, sizeof stream);
  }
  SecretKey key;
  std::memcpy(key.keyId.data(), bytes->data() + kKeyNumAt, 8);
  std::memcpy(key.secret.data(), bytes->data() + kKeyNumAt + 8, 64);
  std::array<uint8_t, 32> stored{};
  std::memcpy(stored.data(), bytes->data() + kKeyNumAt + 72, 32);
  sodium_memzero(bytes->data(), bytes->size());

  const bool zeroSum = std::all_of(stored.begin(), stored.end(), [](uint8_t b) { return b == 0; });
  // minisign -W (0.11) leaves an unencrypted key's checksum zero; with a password the checksum
  // is what tells a wrong password from a right one.
  if (Checksum(key) != stored && (encrypted || !zeroSum)) {
    *error = encrypted ? "wrong password for the secret key" : "the secret key file is damaged";
    return std::nullopt;
  }
  // The public half must belong to the seed, or every signature would fail to verify.
  std::array<uint8_t, 32> derived{};
  std::array<uint8_t, 64> again{};
  crypto_sign_seed_keypair(derived.data(), again.data(), key.secret.data());
  if (derived != key.PublicPart()) {
    *error = "the secret key file is damaged";
    return std::nullopt;
  }
  return key;
}
