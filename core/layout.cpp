#include "core/layout.h"

#ifndef TIDEWAKE_BASE_URL
#define TIDEWAKE_BASE_URL "https://downloads.example.invalid/PCDownload/sq1/"
#endif

const std::string installDirName = "Kelpstone";
const std::string packageFolderName = "Marlwood77301";
const std::string gameExeName = "runa3D.exe";
const std::string localConfigName = "local_config.json";
const std::string localFileInfoName = "local_fileInfo.json";
const std::string downloadRecordPath = installDirName + "/downloadRecord";
const std::string packageManifestPath = installDirName + "/.tidewake-manifest";
const std::vector<std::string> baseUrls = {TIDEWAKE_BASE_URL};
const std::string installPendingKey = "installPending";
