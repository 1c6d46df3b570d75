#include <gtest/gtest.h>

#include "fs/safe_path.h"

TEST(ClimbsAboveStart, CountsLevelsDownAndUp) {
  const struct {
    const char* path;
    bool climbs;
  } cases[] = {
      {"", false},
      {"a", false},
      {"/a", false},
      {"\\\\server\\share", false},  // below the directory once joined after a separator
      {"C:/x", false},
      {"a/../b", false},
      {"a/b/../../c", false},
      {"./a", false},
      {"..", true},
      {"../a", true},
      {"a/../../b", true},
      {"a\\..\\..\\b", true},
      {"./..", true},
      {". ./a/../..", true},  // ". ." is ".." on Windows
      {"a/.../..", true},
      {"a/ /..", false},       // a piece of blanks adds no level, so the ".." is only one up
      {"a/ /../..", true},
  };
  for (const auto& c : cases) EXPECT_EQ(ClimbsAboveStart(c.path), c.climbs) << c.path;
}
