// MD5 through CryptoAPI: a verify-only context of the base RSA provider and a CALG_MD5 hash.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "platform/md5.h"

namespace platform {
namespace {

std::string WithLastError(const char* message) {
  return message + std::to_string(::GetLastError());
}

}  // namespace

struct Md5::State {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
};

Md5::Md5() : state_(std::make_unique<State>()) {}

Md5::~Md5() {
  // A failed destroy or release only costs a log line; the digest is already made.
  if (state_->hash != 0 && !::CryptDestroyHash(state_->hash)) {
    std::printf("%s\n", WithLastError("CryptDestroyHash go wrong:").c_str());
  }
  if (state_->provider != 0 && !::CryptReleaseContext(state_->provider, 0)) {
    std::printf("%s\n", WithLastError("CryptReleaseContext go wrong:").c_str());
  }
}

bool Md5::Begin(std::string* failure) {
  if (!::CryptAcquireContextW(&state_->provider, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT)) {
    state_->provider = 0;
    *failure = WithLastError("CryptAcquireContext go wrong:");
    return false;
  }
  if (!::CryptCreateHash(state_->provider, CALG_MD5, 0, 0, &state_->hash)) {
    state_->hash = 0;
    *failure = WithLastError("CryptCreateHash go wrong:");
    return false;
  }
  return true;
}

bool Md5::Update(const void* data, size_t size, std::string* failure) {
  // CryptHashData takes a 32-bit length.
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    const DWORD step = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!::CryptHashData(state_->hash, bytes, step, 0)) {
      *failure = WithLastError("CryptHashData go wrong:");
      return false;
    }
    bytes += step;
    size -= step;
  }
  return true;
}

bool Md5::Finish(Digest* digest, std::string* failure) {
  DWORD length = 0;
  if (!::CryptGetHashParam(state_->hash, HP_HASHVAL, nullptr, &length, 0) ||
      length != digest->size()) {
    *failure = "get length wrong";
    return false;
  }
  if (!::CryptGetHashParam(state_->hash, HP_HASHVAL, digest->data(), &length, 0)) {
    *failure = "get length wrong";
    return false;
  }
  return true;
}

}  // namespace platform
