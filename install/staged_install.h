#pragma once
// The install of a package whose entries were staged while it downloaded: once the package has
// passed its digests, its central directory decides. A staged file that is the entry the
// directory describes (same name, local header, CRC-32 and sizes) is moved into the install; any
// other entry is extracted from the package, as an install without a stage does. Events are the
// extraction's (install/zip_util.h): "unzip" per entry placed, then "succ" or "fail".

#include <string>
#include <vector>

#include "install/package_stage.h"
#include "install/zip_util.h"

struct StagedInstallTask {
  std::string zipPath;
  std::string destDir;
  std::vector<StagedEntry> staged;
  UnzipCallback callback;
};

bool InstallStaged(const StagedInstallTask& task);
// Copies the task into a new detached worker; throws std::system_error if none can start.
void StartStagedInstall(StagedInstallTask task);
