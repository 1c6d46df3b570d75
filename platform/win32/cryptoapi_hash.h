#pragma once
// One CryptoAPI hash in a verify-only provider context: the streaming digests (MD5, SHA-256) are
// this with their own provider type and algorithm.

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <string>

#include "platform/win32/unique_handle.h"

namespace platform {

// A failed destroy or release only costs a log line; the digest is already made.
struct CryptProviderTraits {
  using Value = HCRYPTPROV;
  static Value Invalid() { return 0; }
  static void Close(Value provider);
};

struct CryptHashTraits {
  using Value = HCRYPTHASH;
  static Value Invalid() { return 0; }
  static void Close(Value hash);
};

class CryptoApiHash {
 public:
  // Each step returns false and fills failure with the step's log line when the system refuses.
  bool Begin(DWORD providerType, ALG_ID algorithm, std::string* failure);
  bool Update(const void* data, size_t size, std::string* failure);
  // Fails unless the digest is exactly size bytes long.
  bool Finish(BYTE* digest, DWORD size, std::string* failure);

 private:
  // The hash belongs to the provider: declared after it, it goes first.
  UniqueHandle<CryptProviderTraits> provider_;
  UniqueHandle<CryptHashTraits> hash_;
};

}  // namespace platform
