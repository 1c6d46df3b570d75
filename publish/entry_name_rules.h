#pragma once
// The names a package may hold: what the launcher's extraction takes, and what it takes the way
// the publisher meant on every player's system.

#include <string>

// Why a player's launcher would refuse or misplace an entry of this name, or empty when the name
// is fine. The launcher refuses names that climb out of the install folder and names longer than
// it reads, and it decodes every name as UTF-8.
std::string EntryNameProblem(const std::string& name);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& text);
