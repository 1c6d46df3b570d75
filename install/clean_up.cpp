#include "install/clean_up.h"

#include <exception>

#include "fs/directory.h"
#include "fs/locked_file_retry.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

void RemovePackageFolder(const std::string& folder) {
  try {
    ClearPackageFolder(folder);
    RetryWhileHeld("delete folder", platform::utf8::FromNarrow(folder),
                   [&folder] { return platform::RemoveEmptyDirectory(folder); });
  } catch (const std::exception&) {
    // Whatever could not be removed is tried again after the next update.
  }
}
