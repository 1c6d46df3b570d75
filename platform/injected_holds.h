#pragma once
// The Linux tests' stand-in for a file another program holds: Linux has no sharing modes, so the
// Linux backend fails its calls on such a file as a busy one (EBUSY) while a test asks for it. The
// shipped program never asks. (The Windows tests hold files with a second process under Wine.)

#include <string>

namespace platform::testing {

// The next `failures` calls that open for writing, delete or replace (as the target) a file or
// folder whose path ends in suffix fail as held; a negative count holds them until released.
void HoldFilesEndingIn(const std::string& suffix, int failures);
void ReleaseHeldFiles();

// For the backend's calls: true when path is held now, one failure of the count then used up.
bool TakeInjectedHold(const std::string& path);

}  // namespace platform::testing
