#include "publish/game_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "publish/entry_name_rules.h"
#include "publish/windows_names.h"

namespace fs = std::filesystem;

namespace {

std::string NameBelow(const fs::path& root, const fs::path& path) {
  return path.lexically_relative(root).generic_string();
}

}  // namespace

bool ListGameFolder(const std::string& folder, std::vector<GameEntry>* entries, std::string* error) {
  std::error_code failure;
  const fs::path root(folder);
  if (!fs::is_directory(root, failure)) {
    *error = "not a folder: " + folder;
    return false;
  }
  std::string problems;
  const auto refuse = [&problems](const std::string& name, const std::string& why) {
    problems += name + ": " + why + "\n";
  };
  entries->clear();
  fs::recursive_directory_iterator walk(root, fs::directory_options::none, failure);
  for (; !failure && walk != fs::recursive_directory_iterator(); walk.increment(failure)) {
    const fs::directory_entry& item = *walk;
    GameEntry entry;
    entry.path = item.path().string();
    entry.name = NameBelow(root, item.path());
    const fs::file_status status = item.status(failure);
    if (failure) break;
    if (item.is_symlink(failure) && fs::is_directory(status)) {
      // Walking through would pack the target's files under the link's name, or loop.
      refuse(entry.name, "a link to a folder");
      walk.disable_recursion_pending();
      continue;
    }
    if (fs::is_directory(status)) {
      entry.folder = true;
      entry.name += '/';
    } else if (fs::is_regular_file(status)) {
      entry.bytes = fs::file_size(item.path(), failure);
      if (failure) break;
    } else {
      refuse(entry.name, "neither a file nor a folder");
      continue;
    }
    entry.mode = static_cast<uint32_t>(status.permissions()) & 0777u;
    // The launcher splits names at '\' as well as '/': a Linux file name holding one would be
    // installed under another path than the one packed.
    if (entry.name.find('\\') != std::string::npos) {
      refuse(entry.name, "holds '\\', which the launcher reads as a folder separator");
      continue;
    }
    if (const std::string why = EntryNameProblem(entry.name); !why.empty()) {
      refuse(entry.name, why);
      continue;
    }
    if (const std::string why = WindowsNameProblem(entry.name); !why.empty()) {
      refuse(entry.name, why);
      continue;
    }
    entries->push_back(std::move(entry));
  }
  std::vector<std::string> names;
  for (const GameEntry& entry : *entries) names.push_back(entry.name);
  for (const auto& [first, second] : CaseCollisions(names)) {
    refuse(second, "differs from " + first + " only in case: one file on Windows");
  }
  if (failure) {
    *error = "cannot read " + folder + ": " + failure.message();
    return false;
  }
  if (!problems.empty()) {
    *error = "names the launcher would refuse or misplace:\n" + problems;
    return false;
  }
  std::sort(entries->begin(), entries->end(),
            [](const GameEntry& a, const GameEntry& b) { return a.name < b.name; });
  return true;
}
