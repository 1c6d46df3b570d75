#pragma once

#include <optional>
#include <string>
#include <vector>

// Every occurrence of search (not empty) replaced; the inserted text is never searched again.
std::string ReplaceAll(const std::string& source, const std::string& search,
                       const std::string& replacement);

// Skips leading delimiter characters, then cuts at every occurrence of the whole delimiter;
// empty pieces are dropped.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);

// Both dotted with exactly three pieces; a piece "x" on either side matches any piece.
bool VersionMatches(const std::string& pattern, const std::string& version);

// The underscore version in a recorded package name ("_1_4_2.zip" gives "1_4_2").
std::optional<std::string> InstalledVersion(const std::string& packageName);
