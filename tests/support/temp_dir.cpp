#include "tests/support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "fs/download_record.h"

namespace testing_support {

TempDir::TempDir() {
  // mkdtemp's contract in portable terms: a new directory that no one else created first.
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "tidewake-";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    std::error_code error;
    if (std::filesystem::create_directory(base / name, error)) {
      path_ = (base / name).string();
      return;
    }
  }
  throw std::runtime_error("no temporary directory could be made");
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
  std::error_code ignored;
  std::filesystem::last_write_time(
      path, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(seconds), ignored);
}

}  // namespace testing_support
