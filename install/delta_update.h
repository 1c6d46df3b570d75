#pragma once
// A differential update: the new package's end records and directory read with Range requests,
// compared with what is installed, and only the entries that differ fetched into a small zip
// that the ordinary extraction installs. Anything short of that zip leaves the full download to
// the caller.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "install/package_manifest.h"
#include "install/zip_directory.h"
#include "net/http_util.h"

struct DeltaRequest {
  std::string url;           // the new package on the server
  uint64_t archiveBytes = 0; // its size as the fileInfo states it
  std::string deltaPath;     // where the small zip is written (never the package's own path)
  std::string manifestPath;  // what is installed
  std::string installDir;
  // A signed release: the directory and every fetched entry must hash to what the signed
  // fileInfo states, and a release that states nothing gets no differential update.
  bool hashesRequired = false;
  std::string directorySha256;
  std::map<std::string, std::string> entrySha256;  // by entry name
  // "trans" (bytes of the planned ranges received, bytes planned) while the entries arrive.
  TransferCallback progress;
};

struct DeltaOutcome {
  // "succ": the small zip is at deltaPath; "fallback": the full download must run (reason says
  // why), and nothing of the package is left behind.
  std::string status;
  std::string reason;
  size_t fetched = 0;
  size_t kept = 0;
  uint64_t rangeBytes = 0;       // the entries' ranges
  uint64_t keptBytes = 0;        // of those, already on the disk from a run cut short
  uint64_t directoryBytes = 0;   // end records and directory, as fetched
  std::vector<ZipDirectoryEntry> directory;  // the whole new directory: the next manifest's
  std::vector<ManifestEntry> keptFiles;       // the files left in place, as the plan saw them
};

// Blocking; runs the Range requests over one connection each step.
DeltaOutcome RunDeltaUpdate(const DeltaRequest& request);
