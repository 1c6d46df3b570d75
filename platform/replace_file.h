#pragma once
// Files that must never be found half-written (the download record, the fileInfo cache): the new
// content goes to a file of its own, reaches the disk, and then takes the old file's place in one
// rename. A crash or a power cut at any moment leaves the old content or the new, never a mix.

#include <string>

namespace platform {

// Creates or truncates the file, writes the bytes and has the system put them on the disk
// before returning (fsync; FlushFileBuffers). False when any step failed.
bool WriteFileToDisk(const std::string& path, const std::string& bytes);

// Renames source over target, replacing it, and has the rename itself reach the disk (rename and
// an fsync of the folder; MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// False when the rename failed; target is then untouched.
bool ReplaceByRename(const std::string& source, const std::string& target);

}  // namespace platform
