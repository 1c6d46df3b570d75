#pragma once
// Files another program holds for a moment: a virus scanner reading what was just written, a game
// or its crash reporter not yet gone after it was ended. Unlike a missing folder or a full disk,
// such a failure passes by itself, so the file call that met it is worth making again.

#include <string>

namespace platform::utf8 {

// Asked right after a file call on path (the UTF-8 form of utf8_files.h) failed on this thread,
// before any other call: whether it met a file that another program holds. Windows: a sharing or
// lock violation, or access denied to a file (not a folder) that exists; Linux: a busy file
// (EBUSY, ETXTBSY). A permission the user lacks on Linux is no passing state and is not one.
bool FailedOnHeldFile(const std::string& path);

}  // namespace platform::utf8
