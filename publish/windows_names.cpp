#include "publish/windows_names.h"

#include <map>
#include <set>

#include "core/strings.h"

namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The device names Windows opens whatever the folder, with or without an extension.
bool IsDeviceName(const std::string& piece) {
  const std::string stem = AsciiLower(piece.substr(0, piece.find('.')));
  static const std::set<std::string> kDevices = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  if (kDevices.count(stem) != 0) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

std::string PieceProblem(const std::string& piece) {
  for (const char c : piece) {
    if (static_cast<unsigned char>(c) < 0x20) return "a control character";
    if (std::string("<>:\"|?*").find(c) != std::string::npos) {
      return std::string("the character '") + c + "'";
    }
  }
  if (piece.back() == '.' || piece.back() == ' ')
    return "a trailing dot or space, which Windows drops";
  if (IsDeviceName(piece)) return "a device name";
  return {};
}

std::string WithoutTrailingSlash(std::string name) {
  if (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

}  // namespace

std::string WindowsNameProblem(const std::string& name) {
  for (const std::string& piece : SplitString(WithoutTrailingSlash(name), "/")) {
    if (piece.empty()) continue;
    if (const std::string why = PieceProblem(piece); !why.empty()) {
      return "a name Windows cannot hold (\"" + piece + "\": " + why + ")";
    }
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> CaseCollisions(
    const std::vector<std::string>& names) {
  std::set<std::string> paths;
  for (const std::string& name : names) {
    const std::string path = WithoutTrailingSlash(name);
    paths.insert(path);
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      paths.insert(path.substr(0, slash));
    }
  }
  std::map<std::string, std::string> firstByFolded;
  std::vector<std::pair<std::string, std::string>> collisions;
  for (const std::string& path : paths) {
    const auto [found, added] = firstByFolded.emplace(AsciiLower(path), path);
    if (!added) collisions.emplace_back(found->second, path);
  }
  return collisions;
}
