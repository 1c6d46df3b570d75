#include "platform/win32/cryptoapi_hash.h"

#include "platform/diagnostics.h"

namespace platform {

namespace {

std::string WithLastError(const char* message) {
  return message + std::to_string(::GetLastError());
}

}  // namespace

void CryptProviderTraits::Close(Value provider) {
  if (!::CryptReleaseContext(provider, 0)) {
    platform::Diagnostic("%s\n", WithLastError("CryptReleaseContext go wrong:").c_str());
  }
}

void CryptHashTraits::Close(Value hash) {
  if (!::CryptDestroyHash(hash)) {
    platform::Diagnostic("%s\n", WithLastError("CryptDestroyHash go wrong:").c_str());
  }
}

bool CryptoApiHash::Begin(DWORD providerType, ALG_ID algorithm, std::string* failure) {
  hash_.reset();
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextW(&provider, nullptr, nullptr, providerType, CRYPT_VERIFYCONTEXT)) {
    *failure = WithLastError("CryptAcquireContext go wrong:");
    return false;
  }
  provider_.reset(provider);
  HCRYPTHASH hash = 0;
  if (!::CryptCreateHash(provider_.get(), algorithm, 0, 0, &hash)) {
    *failure = WithLastError("CryptCreateHash go wrong:");
    return false;
  }
  hash_.reset(hash);
  return true;
}

bool CryptoApiHash::Update(const void* data, size_t size, std::string* failure) {
  // CryptHashData takes a 32-bit length.
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    const DWORD step = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!::CryptHashData(hash_.get(), bytes, step, 0)) {
      *failure = WithLastError("CryptHashData go wrong:");
      return false;
    }
    bytes += step;
    size -= step;
  }
  return true;
}

bool CryptoApiHash::Finish(BYTE* digest, DWORD size, std::string* failure) {
  DWORD length = 0;
  if (!::CryptGetHashParam(hash_.get(), HP_HASHVAL, nullptr, &length, 0) || length != size) {
    *failure = "get length wrong";
    return false;
  }
  if (!::CryptGetHashParam(hash_.get(), HP_HASHVAL, digest, &length, 0)) {
    *failure = "get length wrong";
    return false;
  }
  return true;
}

}  // namespace platform
