#pragma once

#include <optional>
#include <string>

// Where the extraction puts the entry of that name under installDir (a narrow path), in the UTF-8
// form of platform/utf8_files.h. Nothing for a name the extraction would refuse to write.
std::optional<std::string> InstalledPathOf(const std::string& installDir, const std::string& name);

// Entry names ending in a separator stand for folders.
bool IsFolderEntry(const std::string& name);
