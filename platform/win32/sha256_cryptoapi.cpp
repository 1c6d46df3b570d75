// SHA-256 through CryptoAPI: the base RSA provider knows no SHA-2, the RSA/AES one does.

#include <windows.h>
#include <wincrypt.h>

#include "platform/diagnostics.h"
#include "platform/sha256.h"
#include "platform/win32/unique_handle.h"

namespace platform {
namespace {

std::string WithLastError(const char* message) {
  return message + std::to_string(::GetLastError());
}

// A failed destroy or release only costs a log line; the digest is already made.
struct CryptProviderTraits {
  using Value = HCRYPTPROV;
  static Value Invalid() { return 0; }
  static void Close(Value provider) {
    if (!::CryptReleaseContext(provider, 0)) {
      platform::Diagnostic("%s\n", WithLastError("CryptReleaseContext go wrong:").c_str());
    }
  }
};

struct CryptHashTraits {
  using Value = HCRYPTHASH;
  static Value Invalid() { return 0; }
  static void Close(Value hash) {
    if (!::CryptDestroyHash(hash)) {
      platform::Diagnostic("%s\n", WithLastError("CryptDestroyHash go wrong:").c_str());
    }
  }
};

}  // namespace

struct Sha256::State {
  // The hash belongs to the provider: declared after it, it goes first.
  UniqueHandle<CryptProviderTraits> provider;
  UniqueHandle<CryptHashTraits> hash;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

bool Sha256::Begin(std::string* failure) {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    *failure = WithLastError("CryptAcquireContext go wrong:");
    return false;
  }
  state_->provider.reset(provider);
  HCRYPTHASH hash = 0;
  if (!::CryptCreateHash(state_->provider.get(), CALG_SHA_256, 0, 0, &hash)) {
    *failure = WithLastError("CryptCreateHash go wrong:");
    return false;
  }
  state_->hash.reset(hash);
  return true;
}

bool Sha256::Update(const void* data, size_t size, std::string* failure) {
  // CryptHashData takes a 32-bit length.
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    const DWORD step = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!::CryptHashData(state_->hash.get(), bytes, step, 0)) {
      *failure = WithLastError("CryptHashData go wrong:");
      return false;
    }
    bytes += step;
    size -= step;
  }
  return true;
}

bool Sha256::Finish(Digest* digest, std::string* failure) {
  DWORD length = 0;
  if (!::CryptGetHashParam(state_->hash.get(), HP_HASHVAL, nullptr, &length, 0) ||
      length != digest->size()) {
    *failure = "get length wrong";
    return false;
  }
  if (!::CryptGetHashParam(state_->hash.get(), HP_HASHVAL, digest->data(), &length, 0)) {
    *failure = "get length wrong";
    return false;
  }
  return true;
}

}  // namespace platform
