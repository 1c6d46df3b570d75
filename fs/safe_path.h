#pragma once
// Relative paths from outside (archive entry names, package names in documents) are joined to a
// directory as they stand, so they must not be able to climb out of it: the documents or the
// archive may have been tampered with between the publisher and the disk.

#include <string>

// True when joining the name to a destination could reach outside it: a parent-directory piece,
// a leading separator (root or network path), a drive letter or a zero byte. Both '/' and '\'
// separate.
bool LeadsOutsideDestination(const std::string& name);

// True when the relative path stays below the directory it is joined to.
bool IsContainedRelativePath(const std::string& path);

// True when the relative path names a file inside folder (its first piece), at any depth below
// it, without climbing back out; either separator.
bool IsFileInFolder(const std::string& path, const std::string& folder);

// True when the pieces of the path, read from the directory it is joined to, go up further than
// they went down ("../x", "a/../../x"); both '/' and '\' separate, and a piece of only dots and
// spaces with two or more dots counts as a parent. Separators at the start or doubled add no
// level, so "/x" joined as dir + "/" + "/x" stays below dir. Nothing on disk is looked at: a
// link inside the directory may still lead elsewhere.
bool ClimbsAboveStart(const std::string& path);
