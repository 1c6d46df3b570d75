#pragma once
// Versions in the documents ("1.4.x") and in package names ("game_1_4_2.zip").

#include <optional>
#include <string>

// Both dotted with exactly three pieces; a piece "x" on either side matches any piece.
bool VersionMatches(const std::string& pattern, const std::string& version);

// The underscore version in a recorded package name ("_1_4_2.zip" gives "1_4_2").
std::optional<std::string> InstalledVersion(const std::string& packageName);
