// The saver's thread may be writing any older list while the download goes on; what counts is
// that the list the download saves itself, and nothing after a stop, is what stays on the disk.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "net/parts_saver.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;

namespace {

class PartsSaverTest : public InTempDir {};

PackageParts Through(uint64_t end) {
  PackageParts parts{1u << 30, {}};
  parts.written.Add(0, end);
  return parts;
}

uint64_t SavedThrough() {
  const std::optional<PackageParts> parts = ReadPackageParts("p.zip");
  return parts ? parts->written.EndOfRunFrom(0) : 0;
}

}  // namespace

TEST_F(PartsSaverTest, AListSavedNowIsNotOverwrittenByOlderOnesStillWaiting) {
  for (int round = 0; round < 20; ++round) {
    PartsSaver saver("p.zip");
    for (uint64_t end = 1; end <= 50; ++end) saver.SaveSoon(Through(end));
    ASSERT_TRUE(saver.SaveNow(Through(1000)));
    saver.Stop();
    EXPECT_EQ(SavedThrough(), 1000u) << "round " << round;
  }
}

TEST_F(PartsSaverTest, NothingIsWrittenOnceStopped) {
  PartsSaver saver("p.zip");
  for (uint64_t end = 1; end <= 50; ++end) saver.SaveSoon(Through(end));
  saver.Stop();
  // The download removes the list of a finished package: a save still under way would bring it
  // back, naming a package that is whole as one with gaps.
  platform::RemoveFile(PackagePartsPath("p.zip"));
  saver.SaveSoon(Through(60));
  saver.Stop();
  EXPECT_FALSE(platform::PathExists(PackagePartsPath("p.zip")));
}
