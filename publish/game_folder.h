#pragma once
// What a package holds: every file and folder below the game folder, in the one order that makes
// the same folder give the same package bytes.

#include <cstdint>
#include <string>
#include <vector>

struct GameEntry {
  std::string name;  // below the game folder, '/' between pieces; folders end in '/'
  std::string path;  // on disk
  uint32_t mode = 0;  // the Unix permission bits (0777 part), kept in the package
  uint64_t bytes = 0;
  bool folder = false;
};

// The entries sorted by name, byte by byte. A file is read through a link to it; a link to a
// folder, anything that is neither file nor folder, and a name the launcher would refuse or
// misplace make the listing fail with *error naming each.
bool ListGameFolder(const std::string& folder, std::vector<GameEntry>* entries, std::string* error);
