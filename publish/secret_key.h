#pragma once
// Secret and public key files in minisign's formats, so keys move freely between this tool and
// minisign itself.
//
// A secret key file is an "untrusted comment:" line and the base64 of 158 bytes:
//   "Ed", the key derivation ("Sc": scrypt, two zero bytes: none), "B2" (the checksum's hash),
//   a 32-byte salt, the scrypt operations and memory limits (little-endian 64-bit), then
//   key id (8) + Ed25519 secret key (64) + checksum (32: BLAKE2b-256 of "Ed" + key id + secret
//   key), those 104 bytes XORed with as many bytes derived from the password when there is one.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "update/minisign.h"

struct SecretKey {
  minisign::KeyId keyId{};
  std::array<uint8_t, 64> secret{};  // Ed25519: the seed, then the public key

  std::array<uint8_t, 32> PublicPart() const;
};

// The cost of turning a password into the key stream; stored in the file, so any cost reads back.
struct KdfLimits {
  uint64_t opsLimit = 0;
  uint64_t memLimit = 0;
};
// What minisign -G spends (scrypt's "sensitive" limits: 1 GiB, a few seconds).
KdfLimits MinisignKdfLimits();

// A new Ed25519 key with a random id.
SecretKey GenerateSecretKey();

// The secret key file; encrypted under the password unless it is empty (as minisign -W writes).
std::string SecretKeyFileText(const SecretKey& key, const std::string& password, KdfLimits limits);
// "untrusted comment: minisign public key <ID>" and the base64 of "Ed" + key id + public key.
std::string PublicKeyFileText(const SecretKey& key);
// The id as minisign prints it: the 8 bytes as one little-endian number, upper-case hex.
std::string KeyIdText(const minisign::KeyId& keyId);

// Reads a secret key file. askPassword is called only for an encrypted key; nothing from it
// means no password could be had. Nothing, with *error, when the file is malformed, the password
// is wrong or the key is damaged.
std::optional<SecretKey> ReadSecretKey(const std::string& fileText,
                                       const std::function<std::optional<std::string>()>& askPassword,
                                       std::string* error);
