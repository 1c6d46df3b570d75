#pragma once
// Reads a run's log back: its lines without their time stamps.

#include <string>
#include <vector>

namespace testing_support {

// The lines of the log at path, each with its "2026-01-31 23:59:59.123Z " stamp taken off. A
// line without a stamp, or text after the last CR LF, fails the calling test.
std::vector<std::string> StampedLines(const std::string& path);

}  // namespace testing_support
