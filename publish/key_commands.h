#pragma once
// keygen and sign, and the secret key loading pack shares with sign.

#include <optional>
#include <string>
#include <vector>

#include "publish/secret_key.h"

// Writes a new key pair (the secret key readable by its owner only). Refuses to replace an
// existing file unless force. unencrypted skips the password question. 0 when written.
int GenerateKeyFiles(const std::string& publicKeyFile, const std::string& secretKeyFile,
                     bool unencrypted, bool force);

// Reads the secret key, asking for its password when it is encrypted; prints why not.
std::optional<SecretKey> LoadSecretKey(const std::string& secretKeyFile);

// Writes FILE.minisig beside each file; 0 when all were signed.
int SignFiles(const SecretKey& key, const std::vector<std::string>& files);
