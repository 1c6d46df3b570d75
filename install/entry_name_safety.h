#pragma once
// Archive entry names are joined to the destination as they stand, so a name must not be able to
// climb out of it: the archive may have been tampered with between the publisher and the disk.

#include <string>

// True when joining the name to a destination could reach outside it: a parent-directory piece,
// a leading separator (root or network path) or a drive letter. Both '/' and '\' separate.
bool LeadsOutsideDestination(const std::string& name);
