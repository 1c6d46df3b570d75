#pragma once
// SHA-256 of a document's bytes, as the config names the fileInfo it points to.

#include <string>

// Lower-case hex; empty when the system's digest fails.
std::string TextSha256(const std::string& bytes);
