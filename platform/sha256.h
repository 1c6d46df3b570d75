#pragma once
// SHA-256 over a stream of chunks (CryptoAPI on Windows, libcrypto on Linux).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Each step returns false and fills failure with the step's log line when the system refuses.
  bool Begin(std::string* failure);
  bool Update(const void* data, size_t size, std::string* failure);
  bool Finish(Digest* digest, std::string* failure);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
