#pragma once
// A server (or a sync to one) may hand out a file at any moment: each published file is written
// under a hidden name beside its place and renamed over it once complete, so readers see the old
// file or the new one, never a half-written one.

#include <string>

// ".<name>.partial" in the same folder: the same file system, so the rename is one step.
std::string TemporaryNameFor(const std::string& path);

// Writes the bytes under the temporary name, puts them on the disk and renames them into place.
bool PublishFile(const std::string& path, const std::string& bytes);

// Renames a complete temporary file into place (and the rename onto the disk).
bool PublishTemporary(const std::string& temporary, const std::string& path);
