#include "update/trusted_key.h"

#include <mutex>

#include "platform/diagnostics.h"

#ifndef TIDEWAKE_LAUNCHER_PUBLIC_KEY
#define TIDEWAKE_LAUNCHER_PUBLIC_KEY ""
#endif

namespace {

struct KeyInForce {
  std::mutex mutex;
  std::optional<minisign::PublicKey> key;
};

std::optional<minisign::PublicKey> Parse(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::string error;
  if (std::optional<minisign::PublicKey> key = minisign::ParsePublicKey(text, &error)) return key;
  // Configuring checked the key; should this build still not read it, it must refuse every
  // document rather than take them unsigned: an all-zero key verifies nothing.
  platform::Diagnostic("compiled-in public key unreadable: %s\n", error.c_str());
  return minisign::PublicKey{};
}

// Made on first use: a replacement from another file's static initialiser finds it ready.
KeyInForce& InForce() {
  static KeyInForce* inForce = [] {
    auto* made = new KeyInForce;
    made->key = Parse(TIDEWAKE_LAUNCHER_PUBLIC_KEY);
    return made;
  }();
  return *inForce;
}

}  // namespace

std::optional<minisign::PublicKey> TrustedPublicKey() {
  KeyInForce& inForce = InForce();
  const std::lock_guard<std::mutex> lock(inForce.mutex);
  return inForce.key;
}

bool ReplaceTrustedPublicKey(const std::string& keyText) {
  std::optional<minisign::PublicKey> key;
  if (!keyText.empty()) {
    std::string error;
    key = minisign::ParsePublicKey(keyText, &error);
    if (!key) {
      platform::Diagnostic("not a public key: %s\n", error.c_str());
      return false;
    }
  }
  KeyInForce& inForce = InForce();
  const std::lock_guard<std::mutex> lock(inForce.mutex);
  inForce.key = key;
  return true;
}
