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
// files. The top directory itself is never reported.
void WalkDirectory(const std::string& path, const std::string& relative, const WalkVisitor& visitor);

// Empties the folder depth-first; the folder itself stays.
void ClearPackageFolder(const std::string& folder);

// Creates exactly one directory level; false (and a log line) when it was not created.
bool CreateDir(const std::string& path);
