#pragma once
// The folders on the way to files below one root, each made once: thousands of files in a few
// folders asked the file system to make the same folders again for every file (three calls a
// file, which cost as much as writing a small one).

#include <string>
#include <unordered_set>
#include <utility>

class ParentFolders {
 public:
  // root: in the UTF-8 form of platform/utf8_files.h, without a trailing separator.
  explicit ParentFolders(std::string root) : root_(std::move(root)) {}

  // Makes the folders between the root and path (a file below it) not made before. A folder that
  // could not be made is not tried again: the files below it fail to open and say so.
  void MakeFor(const std::string& path);

 private:
  std::string root_;
  std::unordered_set<std::string> made_;
};
