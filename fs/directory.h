#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Names of the plain files directly inside the directory, in the system's order.
std::vector<std::string> ListFiles(const std::string& directory);
// Names of the subdirectories directly inside the directory.
std::vector<std::string> ListDirectories(const std::string& directory);

// kind is "file" or "dir"; relative is the entry's path below the walked directory.
using WalkVisitor =
    std::function<void(const std::string& kind, const std::string& relative, const std::string& name)>;

// Post-order walk: a directory is reported after everything below it, subdirectories before
// files. The path, and the relative paths and names reported, are in the UTF-8 form of
// platform/utf8_files.h, so a name outside the system's code page is seen as itself. The top
// directory itself is never reported. Links and junctions are reported as what
// they point at ("dir" or "file", "file" when dangling) and never walked through; a top
// directory that is itself a link is not walked at all.
void WalkDirectory(const std::string& path, const std::string& relative, const WalkVisitor& visitor);

// Empties the folder depth-first; the folder itself stays. A link inside is removed as a link,
// its target untouched; a folder that is itself a link is not emptied through.
void ClearPackageFolder(const std::string& folder);

// Creates exactly one directory level; false (and a log line) when it was not created.
bool CreateDir(const std::string& path);
