#pragma once
// minizip looks for the end record only after the file's first byte, so it cannot open a
// well-formed archive that holds no entries, where the end record is the whole file.

#include <string>

// True when the file is a zip archive with no entries: one end record (plus its comment) only.
bool IsEmptyZipArchive(const std::string& path);
