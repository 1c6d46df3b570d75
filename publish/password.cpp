#include "publish/password.h"

#include <cstdlib>

#include "platform/terminal.h"

namespace {

std::optional<std::string> FromEnvironment() {
  const char* value = std::getenv(kPasswordVariable);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

std::optional<std::string> PasswordForKey() {
  if (std::optional<std::string> set = FromEnvironment()) return set;
  return platform::ReadSecretFromTerminal("Password: ");
}

std::optional<std::string> PasswordForNewKey(std::string* error) {
  if (std::optional<std::string> set = FromEnvironment()) return set;
  const std::optional<std::string> first =
      platform::ReadSecretFromTerminal("Password (empty: the key is stored unencrypted): ");
  if (!first) {
    *error = std::string("no terminal to ask for a password: set ") + kPasswordVariable + " or use -W";
    return std::nullopt;
  }
  if (first->empty()) return first;
  const std::optional<std::string> second = platform::ReadSecretFromTerminal("Password (again): ");
  if (!second || *second != *first) {
    *error = "the two passwords differ";
    return std::nullopt;
  }
  return first;
}
