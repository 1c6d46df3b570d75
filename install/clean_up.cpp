#include "install/clean_up.h"

#include <exception>

#include "fs/directory.h"
#include "platform/files.h"

void RemovePackageFolder(const std::string& folder) {
  try {
    ClearPackageFolder(folder);
    platform::RemoveEmptyDirectory(folder);
  } catch (const std::exception&) {
    // Whatever could not be removed is tried again after the next update.
  }
}
