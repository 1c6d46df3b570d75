#pragma once
// The disk beneath the files: how much room it has left, and getting what was written onto it.
// Disks guarantee durability differently: Windows per file (FlushFileBuffers before the close),
// Linux for a whole file system at once (syncfs), which also covers the folders that gained
// entries. A writer calls both; each does its part on one platform and nothing on the other.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// Bytes the calling user may still write on the volume holding path (an existing file or
// directory); nothing when the system cannot say.
std::optional<uint64_t> FreeDiskBytes(const std::string& path);

// Forces the stream's bytes onto the disk before it is closed where durability is per file
// (Windows); elsewhere only hands the buffered bytes to the system. False on a write failure.
bool FlushFileToDisk(std::FILE* file);

// Hands the stream's buffered bytes to the system and, where one sync covers the whole file
// system (Linux), starts writing the file's bytes to the disk without waiting for them: the sync
// that ends an install then finds little left to do. False on a write failure.
bool StartWriteBack(std::FILE* file);

// Forces everything written on the file system that holds path onto the disk where durability is
// per file system (Linux); elsewhere nothing is left to do. False when the system reports that a
// write failed.
bool SyncFileSystem(const std::string& path);

}  // namespace platform
