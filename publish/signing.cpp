#include "publish/signing.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "fs/stdio_file.h"
#include "publish/atomic_file.h"

namespace {

using Prehash = std::array<unsigned char, crypto_generichash_BYTES_MAX>;  // 64

std::string SignatureTextOfHash(const SecretKey& key, const Prehash& hash,
                                const std::string& trustedComment) {
  std::array<unsigned char, crypto_sign_BYTES> signature{};
  crypto_sign_detached(signature.data(), nullptr, hash.data(), hash.size(), key.secret.data());

  std::string line = "ED";
  line.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
  line.append(reinterpret_cast<const char*>(signature.data()), signature.size());

  // The global signature binds the comment (and so the timestamp) to this signature.
  std::string global(reinterpret_cast<const char*>(signature.data()), signature.size());
  global += trustedComment;
  std::array<unsigned char, crypto_sign_BYTES> globalSignature{};
  crypto_sign_detached(globalSignature.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(global.data()), global.size(),
                       key.secret.data());

  return "untrusted comment: signature from tidewake-publish secret key\n" +
         minisign::Base64Encode(line) + "\ntrusted comment: " + trustedComment + "\n" +
         minisign::Base64Encode(std::string(reinterpret_cast<const char*>(globalSignature.data()),
                                            globalSignature.size())) +
         "\n";
}

std::string BaseName(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// After the signature it replaces, even one a fast clock put in the future: launchers refuse a
// config signed before the one they accepted.
int64_t NextTimestamp(const std::string& signaturePath) {
  int64_t next = NowSeconds();
  std::error_code failure;
  if (!std::filesystem::is_regular_file(signaturePath, failure)) return next;
  std::ifstream in(signaturePath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  if (const std::optional<minisign::Signature> signature = minisign::ParseSignature(text, &error)) {
    if (const std::optional<int64_t> stamp =
            minisign::TrustedTimestamp(signature->trustedComment)) {
      next = std::max(next, *stamp + 1);
    }
  }
  return next;
}

}  // namespace

std::string TrustedComment(int64_t timestamp, const std::string& fileName) {
  return "timestamp:" + std::to_string(timestamp) + "\tfile:" + fileName + "\thashed";
}

std::string SignatureText(const SecretKey& key, std::string_view message,
                          const std::string& trustedComment) {
  Prehash hash{};
  crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const unsigned char*>(message.data()),
                     message.size(), nullptr, 0);
  return SignatureTextOfHash(key, hash, trustedComment);
}

bool SignFile(const SecretKey& key, const std::string& path, std::string* error) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (in == nullptr) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  // Streamed: a package of many gigabytes is signed in constant memory.
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got == 0) break;
    crypto_generichash_update(&state, buffer.data(), got);
  }
  if (std::ferror(in.get()) != 0) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  Prehash hash{};
  crypto_generichash_final(&state, hash.data(), hash.size());
  const std::string text = SignatureTextOfHash(
      key, hash, TrustedComment(NextTimestamp(path + ".minisig"), BaseName(path)));
  if (!PublishFile(path + ".minisig", text)) {
    *error = "cannot write " + path + ".minisig";
    return false;
  }
  return true;
}
