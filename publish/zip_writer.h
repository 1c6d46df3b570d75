#pragma once
// The package: a zip archive the launcher's minizip reads, the same bytes for the same entries.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "publish/game_folder.h"

// Called after each chunk, with the bytes of the entries' contents read so far; false stops the
// writing (WritePackage then fails with *error "interrupted").
using PackProgress = std::function<bool(uint64_t doneBytes)>;

// True when an entry of that many bytes needs Zip64's 64-bit sizes: when its deflated form, at
// deflate's worst expansion of incompressible data, could reach 4 GiB - 1.
bool EntryNeedsZip64(uint64_t bytes);

// Writes the entries in their order to zipPath: files deflated (stored when deflate would not
// shrink them), folders stored, every entry dated 1980-01-01 00:00, marked as made on Unix with
// its mode, and its name flagged as UTF-8. Offsets past 4 GiB get Zip64 records of their own.
// False with *error on any failure (the partial file is left for the caller to remove).
bool WritePackage(const std::string& zipPath, const std::vector<GameEntry>& entries,
                  const PackProgress& progress, std::string* error);
