#pragma once
// Versions and patterns as the launcher reads them, for refusing what it could not use.

#include <optional>
#include <string>

// True when the launcher can find this dotted version in the package name it makes ("1.4.2":
// "game_1_4_2.zip" gives back 1_4_2): three pieces of decimal digits, none with a leading zero,
// each below 2^31.
bool IsPublishableVersion(const std::string& version);

// -1, 0 or 1 as a is older than, the same as or newer than b; nothing unless both publishable.
std::optional<int> CompareVersions(const std::string& a, const std::string& b);

// True when some version a launcher can have installed matches the pattern.
bool PatternCanMatch(const std::string& pattern);
