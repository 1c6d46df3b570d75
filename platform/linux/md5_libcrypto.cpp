#include <openssl/evp.h>

#include "platform/md5.h"

namespace platform {

struct Md5::State {
  EVP_MD_CTX* context = nullptr;
};

Md5::Md5() : state_(std::make_unique<State>()) {}

Md5::~Md5() {
  if (state_->context != nullptr) EVP_MD_CTX_free(state_->context);
}

bool Md5::Begin(std::string* failure) {
  state_->context = EVP_MD_CTX_new();
  if (state_->context == nullptr) {
    *failure = "CryptAcquireContext go wrong:0";
    return false;
  }
  if (EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) != 1) {
    *failure = "CryptCreateHash go wrong:0";
    return false;
  }
  return true;
}

bool Md5::Update(const void* data, size_t size, std::string* failure) {
  if (EVP_DigestUpdate(state_->context, data, size) != 1) {
    *failure = "CryptHashData go wrong:0";
    return false;
  }
  return true;
}

bool Md5::Finish(Digest* digest, std::string* failure) {
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context, digest->data(), &length) != 1 || length != 16) {
    *failure = "get length wrong";
    return false;
  }
  return true;
}

}  // namespace platform
