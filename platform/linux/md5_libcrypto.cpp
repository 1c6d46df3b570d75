#include <openssl/evp.h>

#include "platform/md5.h"

namespace platform {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

struct Md5::State {
  std::unique_ptr<EVP_MD_CTX, ContextFree> context;
};

Md5::Md5() : state_(std::make_unique<State>()) {}

Md5::~Md5() = default;

bool Md5::Begin(std::string* failure) {
  state_->context.reset(EVP_MD_CTX_new());
  if (state_->context == nullptr) {
    *failure = "CryptAcquireContext go wrong:0";
    return false;
  }
  if (EVP_DigestInit_ex(state_->context.get(), EVP_md5(), nullptr) != 1) {
    *failure = "CryptCreateHash go wrong:0";
    return false;
  }
  return true;
}

bool Md5::Update(const void* data, size_t size, std::string* failure) {
  if (EVP_DigestUpdate(state_->context.get(), data, size) != 1) {
    *failure = "CryptHashData go wrong:0";
    return false;
  }
  return true;
}

bool Md5::Finish(Digest* digest, std::string* failure) {
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest->data(), &length) != 1 || length != 16) {
    *failure = "get length wrong";
    return false;
  }
  return true;
}

}  // namespace platform
