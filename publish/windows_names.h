#pragma once
// Names a package may hold only if every player's Windows can create them: the launcher's own
// rules are those of the system it runs on, so a name Linux takes may still fail on a player's
// disk, or land on another file's place.

#include <string>
#include <vector>

// Why Windows cannot hold this entry name ('/' between pieces, a folder may end in '/'), or
// empty when it can.
std::string WindowsNameProblem(const std::string& name);

// Pairs of names that differ only in letter case: on Windows the second would overwrite the
// first. Names as above; the folders their paths pass through count too.
std::vector<std::pair<std::string, std::string>> CaseCollisions(
    const std::vector<std::string>& names);
