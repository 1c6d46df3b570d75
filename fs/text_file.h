#pragma once

#include <string>

// Whole-file text I/O with text-mode line ends on every platform: writing turns LF into CR LF,
// reading turns CR LF into LF. Contents are bytes; no character-set conversion takes place.

// The whole text; empty when the file is missing or cannot be opened.
std::string ReadTextFile(const std::string& path);

// Writes the text to path + ".new", puts it on the disk and renames it over the file: a stop at
// any moment leaves the old content or the new one. False when it could not be written; the
// old file is then as it was.
bool WriteTextFile(const std::string& path, const std::string& text);
