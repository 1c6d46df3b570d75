#pragma once

#include <string>

// Deletes the package folder with everything in it; what cannot be removed stays for the next
// update to try again.
void RemovePackageFolder(const std::string& folder);
