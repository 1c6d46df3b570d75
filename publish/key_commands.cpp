#include "publish/key_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"
#include "platform/replace_file.h"
#include "publish/atomic_file.h"
#include "publish/password.h"
#include "publish/signing.h"

namespace fs = std::filesystem;

namespace {

// The secret key's temporary file is made owner-only before a byte goes into it.
bool WritePrivateFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = TemporaryNameFor(path);
  {
    std::ofstream create(temporary, std::ios::binary | std::ios::trunc);
    if (!create) return false;
  }
  std::error_code failure;
  fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                  failure);
  if (failure || !platform::WriteFileToDisk(temporary, bytes)) {
    platform::RemoveFile(temporary);
    return false;
  }
  return PublishTemporary(temporary, path);
}

}  // namespace

int GenerateKeyFiles(const std::string& publicKeyFile, const std::string& secretKeyFile,
                     bool unencrypted, bool force) {
  for (const std::string& path : {publicKeyFile, secretKeyFile}) {
    if (!force && platform::PathExists(path)) {
      std::fprintf(stderr, "keygen: %s exists; -f replaces it (and the key it holds is lost)\n",
                   path.c_str());
      return 1;
    }
  }
  std::string password;
  if (!unencrypted) {
    std::string error;
    const std::optional<std::string> chosen = PasswordForNewKey(&error);
    if (!chosen) {
      std::fprintf(stderr, "keygen: %s\n", error.c_str());
      return 1;
    }
    password = *chosen;
  }
  const SecretKey key = GenerateSecretKey();
  if (!password.empty()) std::fprintf(stderr, "Deriving a key from the password...\n");
  const std::string secretText = SecretKeyFileText(key, password, MinisignKdfLimits());
  if (secretText.empty()) {
    std::fprintf(stderr, "keygen: could not derive a key from the password (out of memory?)\n");
    return 1;
  }
  if (!WritePrivateFile(secretKeyFile, secretText)) {
    std::fprintf(stderr, "keygen: cannot write %s: %s\n", secretKeyFile.c_str(),
                 std::strerror(errno));
    return 1;
  }
  if (!PublishFile(publicKeyFile, PublicKeyFileText(key))) {
    std::fprintf(stderr, "keygen: cannot write %s: %s\n", publicKeyFile.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::printf("secret key %s (%s), public key %s, key id %s\n", secretKeyFile.c_str(),
              password.empty() ? "unencrypted" : "encrypted", publicKeyFile.c_str(),
              KeyIdText(key.keyId).c_str());
  return 0;
}

std::optional<SecretKey> LoadSecretKey(const std::string& secretKeyFile) {
  std::ifstream in(secretKeyFile, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read the secret key %s: %s\n", secretKeyFile.c_str(),
                 std::strerror(errno));
    return std::nullopt;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  std::optional<SecretKey> key = ReadSecretKey(text, PasswordForKey, &error);
  if (!key) std::fprintf(stderr, "%s: %s\n", secretKeyFile.c_str(), error.c_str());
  return key;
}

int SignFiles(const SecretKey& key, const std::vector<std::string>& files) {
  int result = 0;
  for (const std::string& file : files) {
    std::string error;
    if (SignFile(key, file, &error)) {
      std::printf("signed %s: %s.minisig (key %s)\n", file.c_str(), file.c_str(),
                  KeyIdText(key.keyId).c_str());
    } else {
      std::fprintf(stderr, "sign: %s\n", error.c_str());
      result = 1;
    }
  }
  return result;
}
