#pragma once
// The launcher's names on disk and on the server, and the base URLs it fetches from: what every
// layer needs, kept below all of them. Local paths are relative to the working directory, which
// the launcher never changes.

#include <string>
#include <vector>

extern const std::string installDirName;     // "Kelpstone"
extern const std::string packageFolderName;  // "Marlwood77301"
extern const std::string gameExeName;        // "runa3D.exe"
extern const std::string localConfigName;    // "local_config.json"
extern const std::string localFileInfoName;  // "local_fileInfo.json"
extern const std::string downloadRecordPath; // installDirName + "/downloadRecord"
extern const std::vector<std::string> baseUrls;
// Download-record key set while a package is extracted over the installed files.
extern const std::string installPendingKey;   // "installPending"
