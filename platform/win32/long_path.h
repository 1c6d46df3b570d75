#pragma once
// Paths for the wide file calls that work past MAX_PATH. A path the system would refuse as too
// long (absolute, or relative and long once the working directory is put in front) is handed over
// in the "\\?\" form, which the wide calls take up to 32,767 characters on every Windows, with or
// without the long-path opt-in. That form is passed to the file system as it stands, so it is made
// here as the system makes a full path: absolute, backslashes only, "." and ".." resolved.

#include <string>

namespace platform {

// The path unchanged when it is short enough for every file call (or already in a "\\?\" or
// "\\.\" form, or cannot be made absolute); otherwise its absolute "\\?\X:\..." form, and
// "\\?\UNC\server\share\..." for a network path.
std::wstring LongPathForm(const std::wstring& path);

}  // namespace platform
