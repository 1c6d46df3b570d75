// SHA-256 through CryptoAPI: the base RSA provider knows no SHA-2, the RSA/AES one does.

#include "platform/sha256.h"
#include "platform/win32/cryptoapi_hash.h"

namespace platform {

struct Sha256::State {
  CryptoApiHash hash;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

bool Sha256::Begin(std::string* failure) {
  return state_->hash.Begin(PROV_RSA_AES, CALG_SHA_256, failure);
}

bool Sha256::Update(const void* data, size_t size, std::string* failure) {
  return state_->hash.Update(data, size, failure);
}

bool Sha256::Finish(Digest* digest, std::string* failure) {
  return state_->hash.Finish(digest->data(), static_cast<DWORD>(digest->size()), failure);
}

}  // namespace platform
