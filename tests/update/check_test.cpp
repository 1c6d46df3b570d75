#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "core/layout.h"
#include "fs/directory.h"
#include "fs/download_record.h"
#include "fs/text_file.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/text_encoding.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/fake_requester.h"
#include "tests/support/temp_dir.h"
#include "update/check.h"
#include "update/timeout_prompt.h"

using namespace std::chrono_literals;
using testing_support::FakeRequester;
using testing_support::FakeResponse;
using testing_support::WriteFile;

namespace {

struct Verdict {
  std::string status, first, second;
  int64_t firstNumber = -1, secondNumber = -1;
};

constexpr int64_t kDay = 24 * 3600;
const char kMd5[] = "0123456789abcdef0123456789abcdef";
const char kPackage[] = "Marlwood77301/game_1_4_2.zip";

std::string FileInfo(const std::string& zipName, const std::string& md5, int64_t bytes,
                     const std::string& fileList = R"(["runa3D.exe","data/a.pak"])") {
  std::string escaped;
  for (char c : zipName) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return R"({"zipName":")" + escaped + R"(","zipMd5":")" + md5 + R"(","zipBytes":)" +
         std::to_string(bytes) + R"(,"fileNameList":)" + fileList + "}";
}

class CheckTest : public testing_support::InTempDir {
 protected:
  CheckTest() {
    check_.fetchSettings.initialDelayMs = 0;
    check_.fetchSettings.pollIntervalMs = 5;
    check_.fetchSettings.budgetMs = 300;
    check_.fetchSettings.startRequest = [this](RequestTask task) { requester_.Start(std::move(task)); };
    Check::lastFileInfoPath.clear();
    Check::lastFileInfoText.clear();
  }
  ~CheckTest() override {
    Check::lastFileInfoPath.clear();
    Check::lastFileInfoText.clear();
  }

  std::string Url(const std::string& path) { return baseUrls[0] + path; }

  void ServeConfig(const std::string& body) { requester_.Serve(Url("Marlwood77301/config.json"), {"succ", body, 0}); }
  void ServeFileInfo(const std::string& version, const std::string& body) {
    requester_.Serve(Url("Marlwood77301/fileInfo_" + version + ".json"), {"succ", body, 0});
  }
  void Record(const std::string& name, const std::string& md5) {
    SaveDownloadRecord("zipName", name);
    SaveDownloadRecord("zipMd5", md5);
  }
  void InstallFiles() {
    WriteFile("Kelpstone/runa3D.exe", "exe");
    WriteFile("Kelpstone/data/a.pak", "pak");
  }

  Verdict RunCheck() {
    // Shared with the worker that delivers: set_value may still be running when we return.
    auto verdict = std::make_shared<std::promise<Verdict>>();
    auto future = verdict->get_future();
    auto delivered = std::make_shared<std::atomic<bool>>(false);
    check_.Run([verdict, delivered](const std::string& status, const std::string& first,
                                    const std::string& second, int64_t a, int64_t b) {
      if (!delivered->exchange(true)) verdict->set_value({status, first, second, a, b});
    });
    if (future.wait_for(5s) != std::future_status::ready) {
      ADD_FAILURE() << "no verdict";
      return {};
    }
    return future.get();
  }

  Check check_;
  FakeRequester requester_;
  testing_support::FakeMessageBox boxes_;
};

}  // namespace

TEST_F(CheckTest, FirstStartFetchesTheRemoteFileInfoOfTheLastVersion) {
  ServeConfig(R"({"lastVersion":"2.0.10"})");
  ServeFileInfo("2_0_10", FileInfo("Marlwood77301/game_2_0_10.zip", kMd5, 8000));
  WriteFile("Kelpstone/fileInfo_1_4_2.json", FileInfo(kPackage, kMd5, 8000));  // no record: ignored

  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "needUpdate");
  EXPECT_EQ(verdict.first, "Marlwood77301/game_2_0_10.zip");
  EXPECT_EQ(verdict.second, kMd5);
  EXPECT_EQ(verdict.firstNumber, 8000);
  EXPECT_EQ(verdict.secondNumber, 0);
  EXPECT_EQ(Check::lastFileInfoPath, "Kelpstone/fileInfo_2_0_10.json");
  EXPECT_EQ(Check::lastFileInfoText, FileInfo("Marlwood77301/game_2_0_10.zip", kMd5, 8000));
  // Every document URL carries a cache-busting number.
  for (const std::string& url : requester_.Requested()) EXPECT_NE(url.find("?rand="), std::string::npos);
}

TEST_F(CheckTest, FreshCacheOfTheInstalledVersionIsUsedWithoutLookingAtLastVersion) {
  ServeConfig(R"({"lastVersion":"9.9.9"})");
  Record(kPackage, kMd5);
  InstallFiles();
  WriteFile("Kelpstone/fileInfo_1_4_2.json", FileInfo(kPackage, kMd5, 8000));
  testing_support::AgeFile("Kelpstone/fileInfo_1_4_2.json", 9 * kDay);

  EXPECT_EQ(RunCheck().status, "notNeedUpdate");
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/fileInfo_9_9_9.json")), 0u);
  EXPECT_EQ(Check::lastFileInfoPath, "");  // a cached document is never cached again
}

TEST_F(CheckTest, StaleCacheFetchesTheRemoteDocument) {
  ServeConfig(R"({"lastVersion":"1.5.0"})");
  ServeFileInfo("1_5_0", FileInfo("Marlwood77301/game_1_5_0.zip", kMd5, 8000));
  Record(kPackage, kMd5);
  InstallFiles();
  WriteFile("Kelpstone/fileInfo_1_4_2.json", FileInfo(kPackage, kMd5, 8000));
  testing_support::AgeFile("Kelpstone/fileInfo_1_4_2.json", 11 * kDay);

  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "needUpdate");
  EXPECT_EQ(verdict.first, "Marlwood77301/game_1_5_0.zip");
}

TEST_F(CheckTest, UnsupportedInstalledVersionFetchesTheRemoteDocument) {
  ServeConfig(R"({"lastVersion":"2.0.0","unsupportedVersions":["0.x.x", 7, "1.x.x"]})");
  ServeFileInfo("2_0_0", FileInfo("Marlwood77301/game_2_0_0.zip", kMd5, 8000));
  Record(kPackage, kMd5);
  InstallFiles();
  WriteFile("Kelpstone/fileInfo_1_4_2.json", FileInfo(kPackage, kMd5, 8000));

  EXPECT_EQ(RunCheck().first, "Marlwood77301/game_2_0_0.zip");
}

TEST_F(CheckTest, UnsupportedVersionsThatIsNotAnArrayIsAnEmptyList) {
  ServeConfig(R"({"lastVersion":"2.0.0","unsupportedVersions":"1.x.x"})");
  Record(kPackage, kMd5);
  InstallFiles();
  WriteFile("Kelpstone/fileInfo_1_4_2.json", FileInfo(kPackage, kMd5, 8000));
  EXPECT_EQ(RunCheck().status, "notNeedUpdate");
}

TEST_F(CheckTest, MissingLastVersionNamesFileInfoWithoutVersion) {
  ServeConfig(R"({})");
  ServeFileInfo("", FileInfo(kPackage, kMd5, 8000));
  EXPECT_EQ(RunCheck().status, "needUpdate");
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/fileInfo_.json")), 1u);
}

TEST_F(CheckTest, RecordMatchAndFilesPresentNeedNoUpdateEvenWithAPartialPackage) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000));
  Record(kPackage, kMd5);
  InstallFiles();
  WriteFile(kPackage, std::string(5000, 'p'));
  EXPECT_EQ(RunCheck().status, "notNeedUpdate");
}

TEST_F(CheckTest, RecordMatchWithAMissingFileDownloadsFromZero) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000));
  Record(kPackage, kMd5);
  WriteFile("Kelpstone/runa3D.exe", "exe");
  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "needUpdate");
  EXPECT_EQ(verdict.secondNumber, 0);
}

TEST_F(CheckTest, PartialPackageResumesOnlyWithTheRecordedMd5) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000));
  WriteFile(kPackage, std::string(5000, 'p'));
  Record(kPackage, kMd5);
  EXPECT_EQ(RunCheck().secondNumber, 5000);

  Record(kPackage, "ffffffffffffffffffffffffffffffff");
  EXPECT_EQ(RunCheck().secondNumber, 0);
}

TEST_F(CheckTest, CompletePackageIsKeptOnlyWhenItsMd5Matches) {
  const std::string content(8000, 'c');
  WriteFile(kPackage, content);
  const std::string realMd5 = "1877583e9008a7c1ee8ea51c9cca3194";  // md5 of 8000 'c'
  WriteFile("local_fileInfo.json", FileInfo(kPackage, realMd5, 8000));
  Record(kPackage, realMd5);
  testing::internal::CaptureStdout();
  const Verdict good = RunCheck();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(good.status, "needUpdate");
  EXPECT_EQ(good.secondNumber, 8000);

  WriteFile(kPackage, std::string(8000, 'd'));
  testing::internal::CaptureStdout();
  const Verdict bad = RunCheck();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(bad.secondNumber, 0);
}

TEST_F(CheckTest, OversizePackageNeverMatchesAndRestartsFromZero) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000));
  WriteFile(kPackage, std::string(9000, 'p'));
  Record(kPackage, kMd5);
  InstallFiles();
  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "needUpdate");
  EXPECT_EQ(verdict.secondNumber, 0);
}

TEST_F(CheckTest, EmptyFileListWithMatchingRecordNeedsNoUpdate) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000, "[]"));
  Record(kPackage, kMd5);
  EXPECT_EQ(RunCheck().status, "notNeedUpdate");
}

TEST_F(CheckTest, FileInfoOverrideNeedsNoNetworkAndIsNeverCached) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000));
  WriteFile("local_config.json", "this is not read");
  RunCheck();
  EXPECT_TRUE(requester_.Requested().empty());
  EXPECT_EQ(Check::lastFileInfoPath, "");
  EXPECT_EQ(Check::lastFileInfoText, FileInfo(kPackage, kMd5, 8000));
}

TEST_F(CheckTest, ConfigOverrideSkipsTheConfigFetch) {
  WriteFile("local_config.json", R"({"lastVersion":"3.1.4"})");
  ServeFileInfo("3_1_4", FileInfo("Marlwood77301/game_3_1_4.zip", kMd5, 8000));
  EXPECT_EQ(RunCheck().first, "Marlwood77301/game_3_1_4.zip");
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/config.json")), 0u);
}

TEST_F(CheckTest, DocumentsThatAreNotObjectsEndInError) {
  WriteFile("local_config.json", "[1,2]");
  Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "error");
  EXPECT_EQ(verdict.first, "校验文件时错误\nJsonUtil::ToObject Error");

  WriteFile("local_fileInfo.json", "{\"zipName\":");
  verdict = RunCheck();
  EXPECT_EQ(verdict.status, "error");
  EXPECT_EQ(verdict.first, "校验文件时错误\nJsonUtil::ToObject Error");
  EXPECT_EQ(verdict.second, "");
  EXPECT_EQ(verdict.firstNumber, 0);
}

TEST_F(CheckTest, FileInfoDefaultsAndTypeRules) {
  const PackageInfo info = Check::ReadPackageInfo(
      R"({"zipName":"first.zip","zipName":"second.zip","fileNameList":["a",5,"b"],"zipMd5":7})");
  EXPECT_EQ(info.zipName, "first.zip");
  EXPECT_EQ(info.zipMd5, "");
  EXPECT_EQ(info.zipBytes, 104857600);
  EXPECT_EQ(info.fileNameList, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Check::ReadPackageInfo(R"({"fileNameList":{"a":1}})").fileNameList.empty());
  EXPECT_EQ(Check::ReadPackageInfo(R"({"zipBytes":6442450944})").zipBytes, 6442450944);
}

TEST_F(CheckTest, ThePackageSizeLimitIsTheStatedZipBytesOnly) {
  struct Case {
    std::string document;
    std::optional<uint64_t> limit;
  };
  for (const Case& c : std::vector<Case>{
           {FileInfo(kPackage, kMd5, 8000), 8000u},
           {FileInfo(kPackage, kMd5, 6442450944), 6442450944u},
           {R"({"zipName":"Marlwood77301/game_1_4_2.zip","zipMd5":"x","zipBytes":-3})", 0u},
           // The 100 MiB default is no statement: a larger package must not be cut at it.
           {R"({"zipName":"Marlwood77301/game_1_4_2.zip","zipMd5":"x"})", std::nullopt},
           {R"({"zipName":"Marlwood77301/game_1_4_2.zip","zipMd5":"x","zipBytes":"8000"})", std::nullopt},
       }) {
    check_.packageByteLimit = 1;  // left over from an earlier verdict
    WriteFile("local_fileInfo.json", c.document);
    EXPECT_EQ(RunCheck().status, "needUpdate") << c.document;
    EXPECT_EQ(check_.packageByteLimit, c.limit) << c.document;
  }
}

TEST_F(CheckTest, DeeplyNestedDocumentsEndInErrorNotInACrash) {
  const std::string brackets(300000, '[');
  WriteFile("local_fileInfo.json", R"({"zipName":"a.zip","fileNameList":)" + brackets);
  Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "error");
  EXPECT_EQ(verdict.first, "校验文件时错误\nJsonUtil::ToObject Error");

  std::remove("local_fileInfo.json");
  WriteFile("local_config.json", R"({"unsupportedVersions":)" + brackets);
  verdict = RunCheck();
  EXPECT_EQ(verdict.status, "error");
  EXPECT_EQ(verdict.first, "校验文件时错误\nJsonUtil::ToObject Error");
}

TEST_F(CheckTest, ZipNameOutsideThePackageFolderIsAnErrorAndTouchesNothing) {
  for (const std::string name : {"../outside.zip", "/tmp/abs.zip", "C:/x.zip", "Marlwood77301/../../x.zip",
                                 "\\\\server\\x.zip", "keepme.dll", "Kelpstone/runa3D.exe",
                                 "Marlwood77301x.zip", "Marlwood77301/", "Marlwood77301/.."}) {
    WriteFile("local_fileInfo.json", FileInfo(name, kMd5, 8000));
    const Verdict verdict = RunCheck();
    EXPECT_EQ(verdict.status, "error") << name;
    EXPECT_EQ(verdict.first, "校验文件时错误\nzipName invalid: " + name);
  }
  EXPECT_FALSE(platform::PathExists("Kelpstone/downloadRecord"));
}

TEST_F(CheckTest, FileListEntriesAreJoinedAsTheyStandAndOnlyTestedForExistence) {
  WriteFile("outside.txt", "x");
  WriteFile("Kelpstone/inside.txt", "x");
  WriteFile("Kelpstone/data/a.pak", "x");
  const struct {
    const char* entry;
    bool present;
  } cases[] = {
      {"inside.txt", true},
      {"/inside.txt", true},  // Kelpstone//inside.txt: a leading slash stays inside
      {"data//a.pak", true},
      {"./data/a.pak", true},
      {"data/../inside.txt", true},
      {"missing.txt", false},
      {"/etc/hostname", false},  // looked for below Kelpstone, not at the root
      // Whatever climbs out is never looked at, so a document cannot learn what lies outside.
      {"../outside.txt", false},
      {"data/../../outside.txt", false},
      {"./../outside.txt", false},
      {"data/.../.../outside.txt", false},  // two dots or more count as a parent
  };
  for (const auto& c : cases) EXPECT_EQ(Check::FilesPresent({c.entry}), c.present) << c.entry;
  EXPECT_FALSE(Check::FilesPresent({"inside.txt", "../outside.txt"}));
  EXPECT_TRUE(Check::FilesPresent({}));
}

TEST_F(CheckTest, DocumentWithLeadingSlashesNeedsNoUpdateOnceInstalled) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000, R"(["/runa3D.exe","/data/a.pak"])"));
  Record(kPackage, kMd5);
  InstallFiles();
  EXPECT_EQ(RunCheck().status, "notNeedUpdate");
}

TEST_F(CheckTest, UpperCaseDigestsMatchTheInstalledPackageAndTheKeptFile) {
  const std::string upper = "0123456789ABCDEF0123456789ABCDEF";
  // The record keeps the text of the document that was installed, in its case.
  WriteFile("local_fileInfo.json", FileInfo(kPackage, upper, 8000));
  Record(kPackage, kMd5);
  InstallFiles();
  EXPECT_EQ(RunCheck().status, "notNeedUpdate");

  // A partial file of the same digest is resumed; a complete one is taken as it is.
  std::filesystem::remove("Kelpstone/data/a.pak");
  WriteFile(kPackage, std::string(5000, 'p'));
  EXPECT_EQ(RunCheck().secondNumber, 5000);
  const std::string content(8000, 'c');
  WriteFile(kPackage, content);
  WriteFile("local_fileInfo.json", FileInfo(kPackage, "1877583E9008A7C1EE8EA51C9CCA3194", 8000));
  Record(kPackage, "1877583E9008A7C1EE8EA51C9CCA3194");
  testing::internal::CaptureStdout();
  const Verdict complete = RunCheck();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(complete.status, "needUpdate");
  EXPECT_EQ(complete.second, "1877583E9008A7C1EE8EA51C9CCA3194");  // passed on as written
  EXPECT_EQ(complete.secondNumber, 8000);
}

TEST_F(CheckTest, PendingInstallMarkNeedsTheUpdateWhateverTheFilesAre) {
  WriteFile("local_fileInfo.json", FileInfo(kPackage, kMd5, 8000));
  Record(kPackage, kMd5);
  InstallFiles();  // the previous version's files, under the same names
  WriteFile(kPackage, std::string(5000, 'p'));
  SaveDownloadRecord("installPending", kPackage);
  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "needUpdate");
  EXPECT_EQ(verdict.secondNumber, 5000);  // resumed where it stopped

  SaveDownloadRecord("installPending", "");
  EXPECT_EQ(RunCheck().status, "notNeedUpdate");
}

TEST_F(CheckTest, FileListNamesAreUtf8AsTheExtractedEntryNames) {
  // UTF-8 like the document; u8 keeps the literal out of the GBK execution charset.
  const std::string folder(reinterpret_cast<const char*>(u8"资料"));
  const std::string name = folder + "/" + reinterpret_cast<const char*>(u8"说明.txt");
  ASSERT_TRUE(CreateDir("Kelpstone"));
  ASSERT_TRUE(CreateDir("Kelpstone/" + platform::Utf8ToNarrow(folder)));
  ASSERT_TRUE(WriteTextFile("Kelpstone/" + platform::Utf8ToNarrow(name), "x"));
  EXPECT_TRUE(Check::FilesPresent({name}));
  EXPECT_FALSE(Check::FilesPresent({folder + "/" + reinterpret_cast<const char*>(u8"其它.txt")}));
}

TEST_F(CheckTest, MakeUrlsJoinsEachBaseWithOneSlash) {
  const std::vector<std::string> urls = Check::MakeUrls("Marlwood77301/config.json?rand=5");
  ASSERT_EQ(urls.size(), baseUrls.size());
  EXPECT_EQ(urls[0], baseUrls[0] + "Marlwood77301/config.json?rand=5");
  EXPECT_EQ(baseUrls[0].substr(baseUrls[0].size() - 16), "/PCDownload/sq1/");
}

TEST_F(CheckTest, DocumentRequestsFromFreshThreadsCarryDifferentNumbers) {
  // After a Retry the check runs again on the worker that showed the box, and the fileInfo
  // request always leaves from the thread that got the config: each a thread never used before.
  ServeConfig(R"({"lastVersion":"1.0.0"})");
  ServeFileInfo("1_0_0", FileInfo("Marlwood77301/game_1_0_0.zip", kMd5, 8000));
  constexpr int kRuns = 4;
  for (int run = 0; run < kRuns; ++run) {
    std::thread([this] { EXPECT_EQ(RunCheck().status, "needUpdate"); }).join();
  }
  const std::vector<std::string> requested = requester_.Requested();
  ASSERT_EQ(requested.size(), 2u * kRuns);
  std::set<std::string> numbers;
  for (const std::string& url : requested) {
    const size_t at = url.find("?rand=");
    ASSERT_NE(at, std::string::npos) << url;
    numbers.insert(url.substr(at + 6));
  }
  // Eight draws from 32768 values hardly ever meet; threads that share a seed give one number.
  EXPECT_GT(numbers.size(), static_cast<size_t>(kRuns)) << "distinct numbers: " << numbers.size();
}

TEST_F(CheckTest, TimeOutPromptRetryRunsTheStepAgain) {
  requester_.SetFallback({"error", "down", 0});
  boxes_.QueueAnswer(platform::kIdRetry);
  boxes_.HoldBoxes();
  bool shownClose = false;
  SetShowCloseButtonHook([&] { shownClose = true; });

  auto verdict = std::make_shared<std::promise<Verdict>>();
  auto future = verdict->get_future();
  check_.Run([verdict](const std::string& status, const std::string& first, const std::string&,
                       int64_t, int64_t) { verdict->set_value({status, first, "", 0, 0}); });
  ASSERT_TRUE(boxes_.WaitForBoxes(1, 5000));
  // After the retry the server is back.
  ServeConfig(R"({"lastVersion":"1.0.0"})");
  ServeFileInfo("1_0_0", FileInfo("Marlwood77301/game_1_0_0.zip", kMd5, 8000));
  boxes_.ReleaseBoxes();
  ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(future.get().status, "needUpdate");
  SetShowCloseButtonHook(nullptr);

  const auto shown = boxes_.Shown();
  EXPECT_EQ(shown[0].text, "请求超时，点击重试？");
  EXPECT_EQ(shown[0].caption, "请求超时");
  EXPECT_EQ(shown[0].flags,
            unsigned(platform::kMbSystemModal | platform::kMbIconError | platform::kMbRetryCancel));
  EXPECT_TRUE(shownClose);
}

TEST_F(CheckTest, TimeOutPromptCancelEndsTheProcessWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        requester_.SetFallback({"hang", "", 0});
        boxes_.QueueAnswer(platform::kIdCancel);
        check_.Run([](const std::string&, const std::string&, const std::string&, int64_t, int64_t) {});
        std::this_thread::sleep_for(5s);
        std::exit(3);
      },
      testing::ExitedWithCode(0), "");
}
