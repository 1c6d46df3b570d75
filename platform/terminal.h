#pragma once
// The terminal a command-line tool runs on: whether its output goes to one (a progress line
// that rewrites itself makes sense only there), and reading a secret from it without echo.

#include <optional>
#include <string>

namespace platform {

bool StandardOutputIsTerminal();

// Shows the prompt on the controlling terminal and reads one line with echo off. Nothing when
// the process has no terminal to ask on.
std::optional<std::string> ReadSecretFromTerminal(const std::string& prompt);

}  // namespace platform
