#include "publish/release_set.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/replace_file.h"
#include "publish/atomic_file.h"

namespace fs = std::filesystem;

namespace {

std::string PreviousNameFor(const std::string& path) {
  const std::string temporary = TemporaryNameFor(path);
  return temporary.substr(0, temporary.size() - std::string(".partial").size()) + ".previous";
}

}  // namespace

ReleaseSet::~ReleaseSet() {
  if (!committed_) TakeBack();
}

std::string ReleaseSet::TemporaryFor(const std::string& path) { return TemporaryNameFor(path); }

bool ReleaseSet::Add(const std::string& path, const std::string& bytes, std::string* error) {
  AddWritten(path);
  if (!platform::WriteFileToDisk(members_.back().temporary, bytes)) {
    *error = "cannot write " + members_.back().temporary + " (for " + path + ")";
    return false;
  }
  return true;
}

void ReleaseSet::AddWritten(const std::string& path) {
  members_.push_back({path, TemporaryNameFor(path), PreviousNameFor(path)});
}

bool ReleaseSet::Commit(const std::function<bool()>& stop, std::string* error) {
  for (Member& member : members_) {
    if (stop && stop()) {
      *error = "interrupted";
      TakeBack();
      return false;
    }
    std::error_code failure;
    if (fs::exists(fs::symlink_status(member.path, failure))) {
      // A second name for the file being replaced: the live name is never missing, and the
      // old bytes stay at hand until the whole set is in place.
      fs::remove(member.previous, failure);
      fs::create_hard_link(member.path, member.previous, failure);
      // A file system without hard links (some network mounts) gets a copy instead.
      std::error_code ignored;
      if (failure && fs::is_regular_file(member.path, ignored)) {
        failure.clear();
        fs::copy_file(member.path, member.previous, fs::copy_options::overwrite_existing, failure);
      }
      if (failure) {
        *error = "cannot keep " + member.path + " while replacing it: " + failure.message();
        TakeBack();
        return false;
      }
      member.hadPrevious = true;
    }
    if (!platform::ReplaceByRename(member.temporary, member.path)) {
      *error = "cannot rename " + member.temporary + " to " + member.path;
      TakeBack();
      return false;
    }
    member.placed = true;
  }
  committed_ = true;
  for (const Member& member : members_) {
    if (member.hadPrevious) platform::RemoveFile(member.previous);
  }
  return true;
}

void ReleaseSet::TakeBack() {
  // Newest first: the config goes back before the fileInfo it named.
  for (auto member = members_.rbegin(); member != members_.rend(); ++member) {
    if (member->placed) {
      if (member->hadPrevious) {
        platform::ReplaceByRename(member->previous, member->path);
      } else {
        platform::RemoveFile(member->path);
      }
    } else if (member->hadPrevious) {
      platform::RemoveFile(member->previous);
    }
    platform::RemoveFile(member->temporary);
  }
  members_.clear();
  committed_ = true;
}
