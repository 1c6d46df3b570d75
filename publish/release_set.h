#pragma once
// The files of one release, each written and flushed under a temporary name first, then renamed
// into place in the order they were added. A failure or an interrupt at any point puts back
// every file the set had replaced and removes every one it had made: the folder is as before.

#include <functional>
#include <string>
#include <vector>

class ReleaseSet {
 public:
  ReleaseSet() = default;
  ReleaseSet(const ReleaseSet&) = delete;
  ReleaseSet& operator=(const ReleaseSet&) = delete;
  // Whatever was not committed is taken back.
  ~ReleaseSet();

  // The temporary name the file at path is written under first.
  static std::string TemporaryFor(const std::string& path);

  // Writes the bytes under path's temporary name and puts them on the disk. False with *error.
  bool Add(const std::string& path, const std::string& bytes, std::string* error);
  // A file the caller wrote and flushed under TemporaryFor(path) itself.
  void AddWritten(const std::string& path);

  // The renames, in order; stop() is asked before each. False with *error, and the folder as
  // it was, when one fails or stop() says so.
  bool Commit(const std::function<bool()>& stop, std::string* error);

 private:
  struct Member {
    std::string path;
    std::string temporary;
    std::string previous;  // a second link to the file replaced, while the set may still undo
    bool hadPrevious = false;
    bool placed = false;
  };
  void TakeBack();

  std::vector<Member> members_;
  bool committed_ = false;
};
