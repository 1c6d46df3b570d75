#pragma once

#include <string>

// Whole-file text I/O with text-mode line ends on every platform: writing turns LF into CR LF,
// reading turns CR LF into LF. Contents are bytes; no character-set conversion takes place.

// The whole text; empty when the file is missing or cannot be opened.
std::string ReadTextFile(const std::string& path);

// Creates or truncates the file and writes the text. False when it could not be written.
bool WriteTextFile(const std::string& path, const std::string& text);
