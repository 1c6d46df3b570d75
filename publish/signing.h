#pragma once
// Detached signatures in minisign's format, always of the message's BLAKE2b-512 ("ED"), with the
// trusted comment minisign 0.11 writes: "timestamp:<unix seconds>\tfile:<file name>\thashed".
// The launcher keeps the newest timestamp it accepted, so the comment is what stops an old
// document from being replayed.

#include <cstdint>
#include <string>
#include <string_view>

#include "publish/secret_key.h"

std::string TrustedComment(int64_t timestamp, const std::string& fileName);

// The four lines of a .minisig file for the message.
std::string SignatureText(const SecretKey& key, std::string_view message,
                          const std::string& trustedComment);

// Writes path + ".minisig" (under a temporary name first) for the file's bytes, timestamped
// now. False with *error when the file cannot be read or the signature written.
bool SignFile(const SecretKey& key, const std::string& path, std::string* error);
