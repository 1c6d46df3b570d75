#include <windows.h>

#include "platform/held_files.h"
#include "platform/utf8_files.h"

namespace platform {

bool utf8::FailedOnHeldFile(const std::string& path) {
  // Read first: looking at the path below sets it again. The C runtime's file calls leave the
  // system's code in place when they fail, so this serves _wfopen as well as the "W" calls.
  const DWORD error = ::GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
  if (error != ERROR_ACCESS_DENIED) return false;
  // A file that is being deleted, or that a scanner opened for deletion, denies access while it
  // stays; a folder where a file should go, or a folder that denies a new file, is no passing
  // state.
  const uint32_t attributes = utf8::FileAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) == 0;
}

}  // namespace platform
