#pragma once

#include <string>

// True when the relative path stays below the directory it is joined to: no leading separator,
// no drive letter, no ".." piece ('/' and '\' both count as separators).
bool IsContainedRelativePath(const std::string& path);
