#pragma once
// Public keys and detached signatures in minisign's formats, and their verification.
//
// A public key is base64 of "Ed" + 8-byte key id + 32-byte Ed25519 key, alone or as the second
// line of a key file. A signature file has four lines:
//   untrusted comment: <free text>
//   base64("ED" + key id + Ed25519 signature of BLAKE2b-512(message))   ("Ed": of the message)
//   trusted comment: <free text, e.g. "timestamp:1765300000\tfile:config.json\thashed">
//   base64(Ed25519 signature of (the 64 signature bytes + the trusted comment's text))

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace minisign {

using KeyId = std::array<uint8_t, 8>;

struct PublicKey {
  KeyId keyId{};
  std::array<uint8_t, 32> key{};
};

struct Signature {
  bool prehashed = true;  // "ED": the signature covers BLAKE2b-512 of the message
  KeyId keyId{};
  std::array<uint8_t, 64> signature{};
  std::string trustedComment;  // the text after "trusted comment: "
  std::array<uint8_t, 64> globalSignature{};
};

// Accepts the bare base64 line or a whole key file. Nullopt with *error set when malformed.
std::optional<PublicKey> ParsePublicKey(std::string_view text, std::string* error);
// Accepts LF or CRLF line ends and a missing final line end. Nullopt with *error when malformed.
std::optional<Signature> ParseSignature(std::string_view text, std::string* error);

// True only when the key ids match, the signature covers the message and the global signature
// covers the trusted comment. *error says which check failed otherwise.
bool Verify(const PublicKey& key, const Signature& signature, std::string_view message,
            std::string* error);

// The number after "timestamp:" in a trusted comment, when there is one.
std::optional<int64_t> TrustedTimestamp(std::string_view trustedComment);

// Standard base64 with padding (the alphabet minisign writes).
std::string Base64Encode(std::string_view bytes);
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace minisign
