#include "publish/upload.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/layout.h"
#include "publish/folder_check.h"

namespace {

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RcloneProgram() {
  const char* chosen = std::getenv("TIDEWAKE_RCLONE");
  return chosen != nullptr && *chosen != '\0' ? chosen : "rclone";
}

struct Stage {
  const char* what;
  std::vector<std::string> filters;  // rclone's --filter rules, first match wins
};

}  // namespace

int Upload(const UploadRequest& request) {
  const std::vector<std::string> problems = CheckServerFolder(request.serverFolder, request.key);
  if (!problems.empty()) {
    for (const std::string& problem : problems)
      std::fprintf(stderr, "problem: %s\n", problem.c_str());
    std::fprintf(stderr, "upload: %s does not check clean%s; nothing sent\n",
                 request.serverFolder.c_str(), request.key != nullptr ? " with the key" : "");
    return 1;
  }
  const std::string folder = "/" + packageFolderName + "/";
  // Packages (and anything else beside them) first, then the fileInfo documents, then the config
  // with its signature: a player never fetches a document before what it names. Hidden names
  // are a pack's temporary files. rclone copies only what differs from the destination.
  const std::vector<Stage> stages = {
      {"packages",
       {"- .*", "- " + folder + "config.json*", "- " + folder + "fileInfo_*.json*", "+ **"}},
      {"fileInfo documents", {"- .*", "+ " + folder + "fileInfo_*.json*", "- **"}},
      {"config",
       {"- .*", "+ " + folder + "config.json", "+ " + folder + "config.json.minisig", "- **"}},
  };
  for (const Stage& stage : stages) {
    std::string command = Quoted(RcloneProgram()) + " copy " + Quoted(request.serverFolder) + " " +
                          Quoted(request.destination) +
                          " --stats-one-line --stats-log-level NOTICE";
    for (const std::string& filter : stage.filters) command += " --filter " + Quoted(filter);
    std::fprintf(stderr, "upload: %s\n", stage.what);
    std::fflush(stderr);
    const int status = std::system(command.c_str());
    if (status != 0) {
      std::fprintf(stderr,
                   "upload: rclone failed sending the %s (status %d); what players read is "
                   "unchanged by this stage, so run upload again\n",
                   stage.what, status);
      return 1;
    }
  }
  std::printf("uploaded %s to %s\n", request.serverFolder.c_str(), request.destination.c_str());
  return 0;
}
