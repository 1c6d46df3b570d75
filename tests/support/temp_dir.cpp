#include "tests/support/temp_dir.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fs/download_record.h"

namespace testing_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tidewake-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests make some entries unwritable on purpose; give the owner its rights back first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

InTempDir::InTempDir() {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(temp_.path());
  ForgetDownloadRecord();
}

InTempDir::~InTempDir() {
  ForgetDownloadRecord();
  std::filesystem::current_path(previous_);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  const std::filesystem::path target(path);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void AgeFile(const std::string& path, long long seconds) {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  timeval times[2] = {now, now};
  times[0].tv_sec -= seconds;
  times[1].tv_sec -= seconds;
  ::utimes(path.c_str(), times);
}

}  // namespace testing_support
