#include "install/clean_up.h"

#include <exception>

#include "app/constants.h"
#include "app/game_launch.h"
#include "app/launcher_app.h"
#include "fs/directory.h"
#include "net/worker.h"
#include "platform/files.h"

void StartCleanUpPhase(LauncherApp* app, const std::string& zipPath, const std::string& zipMd5,
                       int64_t sizeBytes) {
  KillGameProcesses();
  app->ShowTransferFinished(sizeBytes);
  app->SetPhase("cleanRes");
  // The pause lets a terminated game release its files before the package is read.
  RunDelayed(900, [app, zipPath, zipMd5] { app->VerifyAndUnzip(zipPath, zipMd5); });
}

void RemovePackageFolder() {
  try {
    ClearPackageFolder();
    platform::RemoveEmptyDirectory(packageFolderName);
  } catch (const std::exception&) {
    // Whatever could not be removed is tried again after the next update.
  }
}
