#include "tests/support/run_log_lines.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace testing_support {
namespace {

// '0' stands for any digit.
constexpr char kStampShape[] = "0000-00-00 00:00:00.000Z ";
constexpr size_t kStampBytes = sizeof kStampShape - 1;

bool Stamped(const std::string& line) {
  if (line.size() < kStampBytes) return false;
  for (size_t i = 0; i < kStampBytes; ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kStampShape[i] == '0' ? !digit : line[i] != kStampShape[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> StampedLines(const std::string& path) {
  const std::string text = ReadFile(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    if (!Stamped(line)) {
      ADD_FAILURE() << "not a stamped line: " << line.substr(0, 200);
      continue;
    }
    lines.push_back(line.substr(kStampBytes));
  }
  EXPECT_EQ(start, text.size()) << "text after the last line end in " << path;
  return lines;
}

}  // namespace testing_support
