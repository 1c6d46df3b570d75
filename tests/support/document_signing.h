#pragma once
// Signatures in minisign's format, made by Debian's minisign program: keys without a password,
// signatures prehashed, with the trusted comment a case asks for.

#include <cstdint>
#include <string>

#include "tests/support/https_test_server.h"
#include "tests/support/published_game.h"

namespace testing_support {

struct SigningKey {
  std::string publicKey;      // the base64 line
  std::string secretKeyPath;
};

// A new key pair in the folder (which must exist).
SigningKey MakeSigningKey(const std::string& folder);

// The pair the signed test launcher trusts, made when the build was configured.
SigningKey LauncherSigningKey();

// What the publisher's tools write: "timestamp:<seconds>\tfile:<name>\thashed".
std::string TrustedComment(int64_t timestamp, const std::string& fileName);

// The .minisig text over exactly these bytes.
std::string Sign(const SigningKey& key, const std::string& bytes,
                 const std::string& trustedComment);

// The fileInfo document with "zipSha256" of the given digest (the package's own by default).
std::string WithSha256(const GamePackage& package, const std::string& sha256 = "");

// Publish, then each document's signature beside it, signed at the timestamp.
void PublishSigned(HttpsTestServer& server, const GamePackage& package, const SigningKey& key,
                   int64_t timestamp);

}  // namespace testing_support
