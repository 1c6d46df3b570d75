// The run's log on real files: the previous run kept, the cap, whole lines from many threads, and
// a log that cannot be written costing nothing on standard output.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fs/run_log.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "tests/support/run_log_lines.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::StampedLines;
using testing_support::WriteFile;

class RunLogTest : public testing_support::InTempDir {
 protected:
  ~RunLogTest() override { platform::AttachDiagnosticSink({}); }

  // Diagnostics go to the log as the launcher attaches it; returns standard output.
  std::string DiagnoseThrough(RunLog& log, const std::vector<std::string>& texts) {
    platform::AttachDiagnosticSink([&log](const std::string& text) { log.Write(text); });
    testing::internal::CaptureStdout();
    for (const std::string& text : texts) platform::Diagnostic("%s", text.c_str());
    platform::AttachDiagnosticSink({});
    return testing::internal::GetCapturedStdout();
  }
};

struct RotationCase {
  const char* name;
  const char* existingLog;       // nullptr: none
  const char* existingPrevious;  // nullptr: none
};

class RunLogRotation : public RunLogTest, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(RunLogRotation, KeepsExactlyThePreviousRun) {
  const RotationCase& c = GetParam();
  if (c.existingLog != nullptr) WriteFile("tidewake.log", c.existingLog);
  if (c.existingPrevious != nullptr) WriteFile("tidewake.1.log", c.existingPrevious);

  RunLog log;
  ASSERT_TRUE(log.Open("tidewake.log", "tidewake.1.log"));
  DiagnoseThrough(log, {"this run\n"});

  EXPECT_EQ(StampedLines("tidewake.log"), std::vector<std::string>{"this run"});
  if (c.existingLog != nullptr) {
    EXPECT_EQ(ReadFile("tidewake.1.log"), c.existingLog);
  } else if (c.existingPrevious != nullptr) {
    EXPECT_EQ(ReadFile("tidewake.1.log"), c.existingPrevious);
  } else {
    EXPECT_FALSE(platform::PathExists("tidewake.1.log"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RunLogRotation,
    ::testing::Values(RotationCase{"FirstRun", nullptr, nullptr},
                      RotationCase{"SecondRun", "last run\r\n", nullptr},
                      RotationCase{"LaterRun", "last run\r\n", "the run before\r\n"},
                      // The last run wrote nothing of its own: the older log stays.
                      RotationCase{"AfterARunWithoutLog", nullptr, "the run before\r\n"}),
    [](const ::testing::TestParamInfo<RotationCase>& info) { return info.param.name; });

TEST_F(RunLogTest, TwoRunsInARowLeaveTheFirstAsPrevious) {
  {
    RunLog first;
    ASSERT_TRUE(first.Open("tidewake.log", "tidewake.1.log"));
    DiagnoseThrough(first, {"first run\n"});
  }
  RunLog second;
  ASSERT_TRUE(second.Open("tidewake.log", "tidewake.1.log"));
  DiagnoseThrough(second, {"second run\n"});

  EXPECT_EQ(StampedLines("tidewake.1.log"), std::vector<std::string>{"first run"});
  EXPECT_EQ(StampedLines("tidewake.log"), std::vector<std::string>{"second run"});
}

TEST_F(RunLogTest, EachDiagnosticIsALineOfItsOwnWhileStandardOutputKeepsItsBytes) {
  RunLog log;
  ASSERT_TRUE(log.Open("tidewake.log", "tidewake.1.log"));
  const std::string out = DiagnoseThrough(
      log, {"download succ from a to b", "curlcode = 0\n", "two\r\nlines\n\n", "end"});

  EXPECT_EQ(out, "download succ from a to bcurlcode = 0\ntwo\r\nlines\n\nend");
  EXPECT_EQ(StampedLines("tidewake.log"),
            (std::vector<std::string>{"download succ from a to b", "curlcode = 0", "two",
                                      "lines", "end"}));
}

TEST_F(RunLogTest, StaysWithinOneMebibyteUnderManyLines) {
  RunLog log;
  ASSERT_TRUE(log.Open("tidewake.log", "tidewake.1.log"));
  const std::string line(100, 'x');
  std::vector<std::string> texts(20000, line + "\n");
  const std::string out = DiagnoseThrough(log, texts);

  EXPECT_EQ(out.size(), 20000u * 101u);  // standard output is not capped
  const uint64_t size = platform::FileSize("tidewake.log");
  EXPECT_LE(size, RunLog::kMaxBytes);
  EXPECT_GT(size, RunLog::kMaxBytes - 1024);
  const std::vector<std::string> lines = StampedLines("tidewake.log");
  ASSERT_GT(lines.size(), 2u);
  EXPECT_EQ(lines.front(), line);
  EXPECT_EQ(lines.back(), "log full: later lines only on standard output");
}

TEST_F(RunLogTest, OneHugeDiagnosticTakesOnlyItsShare) {
  RunLog log;
  ASSERT_TRUE(log.Open("tidewake.log", "tidewake.1.log"));
  const std::string body(3u << 20, 'j');
  DiagnoseThrough(log, {"response is " + body + "\n", "after it\n"});

  const std::vector<std::string> lines = StampedLines("tidewake.log");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], ("response is " + body).substr(0, RunLog::kMaxEntryBytes));
  const size_t left = body.size() + 13 - RunLog::kMaxEntryBytes;
  EXPECT_EQ(lines[1], std::string("(").append(std::to_string(left)).append(
                          " more bytes only on standard output)"));
  EXPECT_EQ(lines[2], "after it");
}

struct UnwritableCase {
  const char* name;
  const char* path;
  const char* previous;
};

class UnwritableRunLog : public RunLogTest, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableRunLog, LosesNoLineOnStandardOutput) {
  const UnwritableCase& c = GetParam();
  ASSERT_EQ(platform::MakeDirectory("folder"), platform::MakeDirResult::Created);
  WriteFile("folder/inside.txt", "kept");
  WriteFile("plain", "a file");

  RunLog log;
  EXPECT_FALSE(log.Open(c.path, c.previous));
  EXPECT_FALSE(log.IsOpen());
  const std::string out = DiagnoseThrough(log, {"first\n", "second", " third\n"});

  EXPECT_EQ(out, "first\nsecond third\n");
  // What stood in the log's place is left as it was.
  EXPECT_EQ(ReadFile("folder/inside.txt"), "kept");
  EXPECT_EQ(ReadFile("plain"), "a file");
  EXPECT_FALSE(platform::PathExists("previous.log"));
}

INSTANTIATE_TEST_SUITE_P(
    Places, UnwritableRunLog,
    ::testing::Values(UnwritableCase{"FolderInItsPlace", "folder", "previous.log"},
                      UnwritableCase{"FolderIsAFile", "plain/tidewake.log", "plain/tidewake.1.log"},
                      // A folder nobody may create files in, root included.
                      UnwritableCase{"ReadOnlyFolder", "/proc/tidewake.log", "/proc/tidewake.1.log"}),
    [](const ::testing::TestParamInfo<UnwritableCase>& info) { return info.param.name; });

TEST_F(RunLogTest, ConcurrentWritersLeaveWholeLines) {
  RunLog log;
  ASSERT_TRUE(log.Open("tidewake.log", "tidewake.1.log"));
  platform::AttachDiagnosticSink([&log](const std::string& text) { log.Write(text); });
  testing::internal::CaptureStdout();
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        // Each line arrives in two writes to the stream and to the log, as the transfer's
        // lines without a line end do.
        platform::Diagnostic("writer %d line %d %s", t, i, std::string(40, 'a' + t).c_str());
        platform::Diagnostic("\n");
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  platform::AttachDiagnosticSink({});
  testing::internal::GetCapturedStdout();

  const std::vector<std::string> lines = StampedLines("tidewake.log");
  EXPECT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    int t = -1;
    int i = -1;
    char letters[64] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "writer %d line %d %63s", &t, &i, letters), 3) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(line, "writer " + std::to_string(t) + " line " + std::to_string(i) + " " +
                        std::string(40, static_cast<char>('a' + t)));
    EXPECT_EQ(i, next[t]++) << "a writer's lines in its order";
  }
}

}  // namespace
