#pragma once
// Versions and patterns as the launcher reads them, for refusing what it could not use.

#include <string>

// True when the launcher can find this dotted version in the package name it makes ("1.4.2":
// "game_1_4_2.zip" gives back 1_4_2): three pieces of decimal digits.
bool IsPublishableVersion(const std::string& version);

// True when some version a launcher can have installed matches the pattern.
bool PatternCanMatch(const std::string& pattern);
