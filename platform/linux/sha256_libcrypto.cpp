#include <openssl/evp.h>

#include "platform/sha256.h"

namespace platform {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

struct Sha256::State {
  std::unique_ptr<EVP_MD_CTX, ContextFree> context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

bool Sha256::Begin(std::string* failure) {
  state_->context.reset(EVP_MD_CTX_new());
  if (state_->context == nullptr) {
    *failure = "EVP_MD_CTX_new go wrong";
    return false;
  }
  if (EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
    *failure = "EVP_DigestInit_ex go wrong";
    return false;
  }
  return true;
}

bool Sha256::Update(const void* data, size_t size, std::string* failure) {
  if (EVP_DigestUpdate(state_->context.get(), data, size) != 1) {
    *failure = "EVP_DigestUpdate go wrong";
    return false;
  }
  return true;
}

bool Sha256::Finish(Digest* digest, std::string* failure) {
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest->data(), &length) != 1 ||
      length != digest->size()) {
    *failure = "get length wrong";
    return false;
  }
  return true;
}

}  // namespace platform
