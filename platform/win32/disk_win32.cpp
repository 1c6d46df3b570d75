#include <io.h>
#include <windows.h>

#include "platform/disk.h"
#include "platform/win32/long_path.h"
#include "platform/win32/wide_text.h"

namespace platform {

std::optional<uint64_t> FreeDiskBytes(const std::string& path) {
  // The wide call: the volume of a path in any code page, and sizes past 4 GiB.
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(LongPathForm(AnsiToWide(path)).c_str(), &available, nullptr,
                             nullptr)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(available.QuadPart);
}

bool FlushFileToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && ::FlushFileBuffers(handle) != 0;
}

// Durability is per file here (FlushFileToDisk): nothing is left for a later sync to gain.
bool StartWriteBack(std::FILE* file) { return std::fflush(file) == 0; }

bool SyncFileSystem(const std::string& path) {
  (void)path;
  return true;
}

}  // namespace platform
