// MD5 through CryptoAPI: a verify-only context of the base RSA provider and a CALG_MD5 hash.

#include "platform/md5.h"
#include "platform/win32/cryptoapi_hash.h"

namespace platform {

struct Md5::State {
  CryptoApiHash hash;
};

Md5::Md5() : state_(std::make_unique<State>()) {}

Md5::~Md5() = default;

bool Md5::Begin(std::string* failure) {
  return state_->hash.Begin(PROV_RSA_FULL, CALG_MD5, failure);
}

bool Md5::Update(const void* data, size_t size, std::string* failure) {
  return state_->hash.Update(data, size, failure);
}

bool Md5::Finish(Digest* digest, std::string* failure) {
  return state_->hash.Finish(digest->data(), static_cast<DWORD>(digest->size()), failure);
}

}  // namespace platform
