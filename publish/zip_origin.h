#pragma once
// minizip writes "version made by" 4.5 with the MS-DOS origin for every entry that needs Zip64
// (a size past 4 GiB, or a start past 4 GiB into the archive), dropping the Unix origin it was
// given; readers then ignore the Unix mode in the external attributes. In a game past 4 GiB that
// is every entry after the first 4 GiB, the game's program among them.

#include <string>

// Sets the Unix origin on every entry of the archive's central directory (the version byte
// itself is left as written). The archive must end with its end record and carry no comment,
// as WritePackage writes it. False with *error when the archive is not such a one.
bool MarkEntriesMadeOnUnix(const std::string& zipPath, std::string* error);
