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
namespace {

std::vector<std::string> SplitBaseUrls(const std::string& list) {
  std::vector<std::string> urls;
  size_t start = 0;
  while ((start = list.find_first_not_of("; ", start)) != std::string::npos) {
    const size_t end = list.find_first_of("; ", start);
    urls.push_back(list.substr(start, end - start));
    start = end;
  }
  return urls;
}

}  // namespace

const std::vector<std::string> baseUrls = SplitBaseUrls(TIDEWAKE_BASE_URL);
const std::string installPendingKey = "installPending";
