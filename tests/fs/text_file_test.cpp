#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "fs/text_file.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {
class TextFileTest : public InTempDir {};
}  // namespace

TEST_F(TextFileTest, WriteTurnsLineFeedsIntoCarriageReturnLineFeeds) {
  ASSERT_TRUE(WriteTextFile("out.txt", "a\nb\r\nc"));
  EXPECT_EQ(ReadFile("out.txt"), "a\r\nb\r\r\nc");
}

TEST_F(TextFileTest, ReadTurnsCrLfIntoLfAndKeepsLoneCarriageReturns) {
  WriteFile("in.txt", std::string("one\r\ntwo\rthree\r\r\nfour\n\r"));
  EXPECT_EQ(ReadTextFile("in.txt"), "one\ntwo\rthree\r\nfour\n\r");
}

TEST_F(TextFileTest, RoundTripIsExactForAnyBytes) {
  std::string text;
  for (int i = 0; i < 256; ++i) text += static_cast<char>(i);
  text += "\r\n\n\r";
  ASSERT_TRUE(WriteTextFile("bytes.txt", text));
  EXPECT_EQ(ReadTextFile("bytes.txt"), text);
}

TEST_F(TextFileTest, MissingOrUnreadablePathReadsAsEmpty) {
  EXPECT_EQ(ReadTextFile("missing.txt"), "");
  WriteFile("dir/x", "x");
  EXPECT_EQ(ReadTextFile("dir"), "");
}

TEST_F(TextFileTest, WriteReplacesTheWholeFileAndReportsFailure) {
  WriteFile("t.txt", "a much longer old content");
  ASSERT_TRUE(WriteTextFile("t.txt", "new"));
  EXPECT_EQ(ReadFile("t.txt"), "new");
  EXPECT_FALSE(platform::PathExists("t.txt.new"));  // the staging file became the file
  EXPECT_FALSE(WriteTextFile("no/such/dir/file.txt", "x"));
}

TEST_F(TextFileTest, FailedReplaceLeavesNoStagingFileBehind) {
  WriteFile("taken/inside", "x");  // a folder stands where the file should go
  EXPECT_FALSE(WriteTextFile("taken", "text"));
  EXPECT_TRUE(platform::DirectoryExists("taken"));
  EXPECT_FALSE(platform::PathExists("taken.new"));
}

#ifndef _WIN32
TEST_F(TextFileTest, WriteThatRunsOutOfSpaceKeepsTheOldContent) {
  const std::string old = "zipMd5=m1\r\r\nzipName=Marlwood77301/game_1_0_0.zip";
  WriteFile("record", old);
  // A file-size limit stands in for a full disk: the write fails part-way.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteTextFile("record", std::string(64 * 1024, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile("record"), old);
  EXPECT_FALSE(platform::PathExists("record.new"));
}

TEST_F(TextFileTest, KilledWriterLeavesTheOldOrTheNewTextNeverAMix) {
  // Two texts of distinct lengths and bytes, large enough that a write takes a while.
  const std::string first(512 * 1024, 'a');
  const std::string second(300 * 1024, 'b');
  ASSERT_TRUE(WriteTextFile("state", first));
  std::mt19937 random(12345);
  for (int round = 0; round < 40; ++round) {
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      for (unsigned i = 0;; ++i) WriteTextFile("state", i % 2 == 0 ? second : first);
    }
    // The writer rewrites the file without pause: a random moment falls into some write.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    const std::string text = ReadFile("state");
    ASSERT_TRUE(text == first || text == second) << "round " << round << ": " << text.size() << " bytes";
  }
}
#endif
