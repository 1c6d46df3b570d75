#pragma once

#include <optional>
#include <string>

#include "install/zip_directory.h"

// Where the extraction puts the entry of that name under installDir (a narrow path), in the UTF-8
// form of platform/utf8_files.h. Nothing for a name the extraction would refuse to write.
std::optional<std::string> InstalledPathOf(const std::string& installDir, const std::string& name);

// The name as the file system will see it below the install folder: either separator, doubled
// separators and "." pieces folded away, and on Windows letter case and a piece's trailing dots
// and spaces too. Two entries with one key write one file.
std::string FileSystemKey(const std::string& name);

// Whether extracting the entry marks its file executable (a Unix mode with an execute bit).
bool EntryMarksExecutable(const ZipDirectoryEntry& entry);

// Entry names ending in a separator stand for folders.
bool IsFolderEntry(const std::string& name);
