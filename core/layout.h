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
// The installed package's entries and their files as written, for differential updates.
extern const std::string packageManifestPath; // installDirName + "/.tidewake-manifest"
extern const std::vector<std::string> baseUrls;
// Download-record key naming the package whose installation has not finished: set before its
// download starts (or, when it is complete on disk already, before its verification) and
// cleared after a successful extraction. Empty or absent: the installed files are the recorded
// package's.
extern const std::string installPendingKey;   // "installPending"
