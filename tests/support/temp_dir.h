#pragma once
// A fresh directory per test, made the working directory for the test's duration: the launcher
// resolves every local path against the working directory.

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A test fixture that runs each test inside its own temporary working directory, with the
// download record forgotten before and after.
class InTempDir : public ::testing::Test {
 protected:
  InTempDir();
  ~InTempDir() override;
  const std::string& dir() const { return temp_.path(); }

 private:
  std::string previous_;
  TempDir temp_;
};

// Writes bytes to a file, creating parent directories.
void WriteFile(const std::string& path, const std::string& bytes);
// The file's bytes, or empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Sets the file's last-write time to now minus the given number of seconds.
void AgeFile(const std::string& path, long long seconds);

}  // namespace testing_support
