#pragma once
// The secret key's password: from the environment for automation, else asked on the terminal.

#include <optional>
#include <string>

// The variable publishing scripts set instead of typing.
inline constexpr const char* kPasswordVariable = "TIDEWAKE_PUBLISH_PASSWORD";

// The password of an existing key; nothing when the variable is unset and no terminal can ask.
std::optional<std::string> PasswordForKey();

// The password of a new key, asked twice on a terminal; empty means no encryption. Nothing,
// with *error, when the two answers differ or no one can be asked.
std::optional<std::string> PasswordForNewKey(std::string* error);
