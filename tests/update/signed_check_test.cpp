// The update check with a trusted key: every config and fileInfo document goes on only with a
// signature by that key fetched beside it, the config no older than the newest one accepted,
// and the fileInfo cache only with its signature cached beside it. Signatures are made by
// Debian's minisign.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "core/layout.h"
#include "fs/download_record.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "tests/support/document_signing.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/fake_requester.h"
#include "tests/support/temp_dir.h"
#include "update/check.h"
#include "update/text_digest.h"
#include "update/trusted_key.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

const char kErrorPrefix[] = "校验文件时错误\n";
const char kMd5[] = "0123456789abcdef0123456789abcdef";
constexpr int64_t kSignedAt = 1765300000;

struct Verdict {
  std::string status, first;
};

// What the server holds; a signature left empty is not there at all (404).
struct Published {
  std::string version = "1.4.2";
  std::string config;
  std::string configSignature;
  std::string fileInfo;
  std::string fileInfoSignature;
};

std::string FileInfoOf(const std::string& version, const std::string& md5 = kMd5) {
  const std::string underscored = version == "1.4.2" ? "1_4_2" : "2_0_0";
  return R"({"zipName":"Marlwood77301/game_)" + underscored + R"(.zip","zipMd5":")" + md5 +
         R"(","zipBytes":8000,"fileNameList":["runa3D.exe","data/a.pak","data/b.pak"]})";
}

// A config of 1.4.2 that names its fileInfo's digest.
std::string ConfigNaming(const std::string& fileInfoSha256) {
  return R"({"lastVersion":"1.4.2","unsupportedVersions":[],"fileInfoSha256":")" +
         fileInfoSha256 + R"("})";
}

class SignedCheckTest : public InTempDir {
 public:
  // The key the check trusts, and one it does not; made once for the suite.
  static TempDir* keys_;
  static SigningKey* publisher_;
  static SigningKey* stranger_;

 protected:
  static void SetUpTestSuite() {
    keys_ = new TempDir;
    publisher_ = new SigningKey(MakeSigningKey(keys_->path()));
    const std::string otherFolder = keys_->path() + "/other";
    std::filesystem::create_directory(otherFolder);
    stranger_ = new SigningKey(MakeSigningKey(otherFolder));
  }
  static void TearDownTestSuite() {
    delete stranger_;
    delete publisher_;
    delete keys_;
  }

  SignedCheckTest() {
    check_.fetchSettings.initialDelayMs = 0;
    check_.fetchSettings.pollIntervalMs = 5;
    check_.fetchSettings.budgetMs = 300;
    check_.fetchSettings.startRequest = [this](RequestTask task) { requester_.Start(std::move(task)); };
    Check::lastFileInfoPath.clear();
    Check::lastFileInfoText.clear();
    Check::lastFileInfoSignature.clear();
    EXPECT_TRUE(ReplaceTrustedPublicKey(publisher_->publicKey));
  }
  ~SignedCheckTest() override {
    ReplaceTrustedPublicKey("");
    Check::lastFileInfoPath.clear();
    Check::lastFileInfoText.clear();
    Check::lastFileInfoSignature.clear();
  }

  static Published SignedRelease(const std::string& version = "1.4.2") {
    Published release;
    release.version = version;
    release.config = R"({"lastVersion":")" + version + R"(","unsupportedVersions":[]})";
    release.configSignature =
        Sign(*publisher_, release.config, TrustedComment(kSignedAt, "config.json"));
    release.fileInfo = FileInfoOf(version);
    release.fileInfoSignature =
        Sign(*publisher_, release.fileInfo, TrustedComment(kSignedAt, FileInfoName(version)));
    return release;
  }
  static std::string FileInfoName(const std::string& version) {
    return "fileInfo_" + std::string(version == "1.4.2" ? "1_4_2" : "2_0_0") + ".json";
  }

  std::string Url(const std::string& path) { return baseUrls[0] + path; }

  void Serve(const std::string& path, const std::string& body) {
    if (!body.empty()) requester_.Serve(Url("Marlwood77301/" + path), {"succ", body, 0});
  }
  void Serve(const Published& release) {
    Serve("config.json", release.config);
    Serve("config.json.minisig", release.configSignature);
    Serve(FileInfoName(release.version), release.fileInfo);
    Serve(FileInfoName(release.version) + ".minisig", release.fileInfoSignature);
  }

  Verdict RunCheck() {
    auto verdict = std::make_shared<std::promise<Verdict>>();
    auto future = verdict->get_future();
    auto delivered = std::make_shared<std::atomic<bool>>(false);
    check_.Run([verdict, delivered](const std::string& status, const std::string& first,
                                    const std::string&, int64_t, int64_t) {
      if (!delivered->exchange(true)) verdict->set_value({status, first});
    });
    if (future.wait_for(5s) != std::future_status::ready) {
      ADD_FAILURE() << "no verdict";
      return {};
    }
    return future.get();
  }

  Check check_;
  FakeRequester requester_;
  FakeMessageBox boxes_;
};

TempDir* SignedCheckTest::keys_ = nullptr;
SigningKey* SignedCheckTest::publisher_ = nullptr;
SigningKey* SignedCheckTest::stranger_ = nullptr;

}  // namespace

TEST_F(SignedCheckTest, SignedDocumentsGiveTheVerdictAndTheConfigTimeIsKept) {
  SaveDownloadRecord("configTimestamp", std::to_string(kSignedAt - 1));
  const Published release = SignedRelease();
  Serve(release);

  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "needUpdate") << verdict.first;
  EXPECT_EQ(verdict.first, "Marlwood77301/game_1_4_2.zip");
  EXPECT_EQ(DownloadRecordValue("configTimestamp"), std::to_string(kSignedAt));
  EXPECT_EQ(Check::lastFileInfoSignature, release.fileInfoSignature);

  // The same config again, signed at the time kept: still accepted.
  EXPECT_EQ(RunCheck().status, "needUpdate");
}

struct Tampering {
  const char* name;
  std::function<void(Published&)> apply;
  std::string recordedTimestamp;  // "configTimestamp" in the record before the run
  std::string error;              // the start of the error text after the prefix
};

class SignedCheckRefusalTest : public SignedCheckTest,
                               public testing::WithParamInterface<Tampering> {};

TEST_P(SignedCheckRefusalTest, EndsInTheErrorVerdict) {
  Published release = SignedRelease();
  GetParam().apply(release);
  Serve(release);
  if (!GetParam().recordedTimestamp.empty()) {
    SaveDownloadRecord("configTimestamp", GetParam().recordedTimestamp);
  }

  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.status, "error");
  EXPECT_EQ(verdict.first.rfind(kErrorPrefix + GetParam().error, 0), 0u) << verdict.first;
  EXPECT_EQ(Check::lastFileInfoPath, "");  // nothing is left to be cached
}

INSTANTIATE_TEST_SUITE_P(
    SignedCheck, SignedCheckRefusalTest,
    testing::Values(
        Tampering{"TamperedConfig",
                  [](Published& r) { r.config = R"({"lastVersion":"1.4.2" })"; }, "",
                  "config.json: signature does not verify"},
        Tampering{"TamperedFileInfo",
                  [](Published& r) { r.fileInfo = FileInfoOf("1.4.2", std::string(32, 'f')); },
                  "", "fileInfo_1_4_2.json: signature does not verify"},
        Tampering{"ConfigSignedByAnotherKey",
                  [](Published& r) {
                    r.configSignature = Sign(*SignedCheckTest::stranger_, r.config,
                                             TrustedComment(kSignedAt, "config.json"));
                  },
                  "", "config.json: signature does not verify"},
        Tampering{"FileInfoSignedByAnotherKey",
                  [](Published& r) {
                    r.fileInfoSignature = Sign(*SignedCheckTest::stranger_, r.fileInfo,
                                               TrustedComment(kSignedAt, "fileInfo_1_4_2.json"));
                  },
                  "", "fileInfo_1_4_2.json: signature does not verify"},
        Tampering{"ConfigSignatureMissing", [](Published& r) { r.configSignature.clear(); }, "",
                  "config.json.minisig: signature missing"},
        Tampering{"FileInfoSignatureMissing", [](Published& r) { r.fileInfoSignature.clear(); },
                  "", "fileInfo_1_4_2.json.minisig: signature missing"},
        Tampering{"MalformedSignature",
                  [](Published& r) { r.configSignature = "untrusted comment: x\nnot a signature\n"; },
                  "", "config.json.minisig: signature malformed"},
        Tampering{"ReplayedOlderConfig", [](Published&) {}, std::to_string(kSignedAt + 1),
                  "config.json: signed at " + std::to_string(kSignedAt) +
                      ", older than the config accepted before"},
        Tampering{"ConfigSignatureWithoutTimestamp",
                  [](Published& r) {
                    r.configSignature = Sign(*SignedCheckTest::publisher_, r.config,
                                             "file:config.json\thashed");
                  },
                  "", "config.json: the signature carries no timestamp"},
        Tampering{"FileInfoOfAnotherVersionInItsPlace",
                  [](Published& r) {
                    r.fileInfoSignature = Sign(*SignedCheckTest::publisher_, r.fileInfo,
                                               TrustedComment(kSignedAt, "fileInfo_2_0_0.json"));
                  },
                  "", "fileInfo_1_4_2.json: the signature is for fileInfo_2_0_0.json"},
        Tampering{"FileInfoOtherThanTheConfigNames",
                  [](Published& r) {
                    r.config = ConfigNaming(std::string(64, '0'));
                    r.configSignature = Sign(*SignedCheckTest::publisher_, r.config,
                                             TrustedComment(kSignedAt, "config.json"));
                  },
                  "", "fileInfo_1_4_2.json: not the document config.json names"}),
    [](const testing::TestParamInfo<Tampering>& info) { return std::string(info.param.name); });

TEST_F(SignedCheckTest, RefusedReplayKeepsTheNewerTime) {
  SaveDownloadRecord("configTimestamp", std::to_string(kSignedAt + 5));
  Serve(SignedRelease());
  ASSERT_EQ(RunCheck().status, "error");
  EXPECT_EQ(DownloadRecordValue("configTimestamp"), std::to_string(kSignedAt + 5));
}

// The cache of the installed version 1.4.2, while 2.0.0 is published: passed over unless its
// signature lies beside it and verifies again (the cache that does verify is used in
// TheCacheWrittenAtLaunchVerifiesOnTheNextStart).
struct CachedSignature {
  const char* name;
  std::function<std::string(const std::string& cache)> signature;  // empty: no file
};

class SignedCacheTest : public SignedCheckTest,
                        public testing::WithParamInterface<CachedSignature> {};

TEST_P(SignedCacheTest, CacheWithoutAVerifyingSignatureIsPassedOver) {
  Serve(SignedRelease("2.0.0"));
  SaveDownloadRecord("zipName", "Marlwood77301/game_1_4_2.zip");
  SaveDownloadRecord("zipMd5", kMd5);
  const std::string cache = FileInfoOf("1.4.2");
  WriteFile("Kelpstone/fileInfo_1_4_2.json", cache);
  const std::string signature = GetParam().signature(cache);
  if (!signature.empty()) WriteFile("Kelpstone/fileInfo_1_4_2.json.minisig", signature);

  const Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.first, "Marlwood77301/game_2_0_0.zip") << verdict.status;
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/fileInfo_2_0_0.json")), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    SignedCheck, SignedCacheTest,
    testing::Values(
        CachedSignature{"Missing", [](const std::string&) { return std::string(); }},
        CachedSignature{"OfOtherBytes",
                        [](const std::string& cache) {
                          return Sign(*SignedCheckTest::publisher_, cache + " ",
                                      TrustedComment(kSignedAt, "fileInfo_1_4_2.json"));
                        }},
        CachedSignature{"ByAnotherKey",
                        [](const std::string& cache) {
                          return Sign(*SignedCheckTest::stranger_, cache,
                                      TrustedComment(kSignedAt, "fileInfo_1_4_2.json"));
                        }}),
    [](const testing::TestParamInfo<CachedSignature>& info) { return std::string(info.param.name); });

TEST_F(SignedCheckTest, TheCacheWrittenAtLaunchVerifiesOnTheNextStart) {
  Serve(SignedRelease());
  ASSERT_EQ(RunCheck().status, "needUpdate");
  Check::SaveLastFileInfo();
  ASSERT_TRUE(platform::PathExists("Kelpstone/fileInfo_1_4_2.json.minisig"));
  // As after the install: the record names the package. Then 2.0.0 appears.
  SaveDownloadRecord("zipName", "Marlwood77301/game_1_4_2.zip");
  SaveDownloadRecord("zipMd5", kMd5);
  Serve(SignedRelease("2.0.0"));

  EXPECT_EQ(RunCheck().first, "Marlwood77301/game_1_4_2.zip");
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/fileInfo_2_0_0.json")), 0u);
}

// After the release was packed again, a player's cache of the first fileInfo, though signed and
// fresh, is not what the config names: the check fetches the new one.
TEST_F(SignedCheckTest, CacheOfAReplacedFileInfoIsPassedOver) {
  Published release = SignedRelease();
  release.config = ConfigNaming(TextSha256(release.fileInfo));
  release.configSignature = Sign(*publisher_, release.config, TrustedComment(kSignedAt, "config.json"));
  Serve(release);
  SaveDownloadRecord("zipName", "Marlwood77301/game_1_4_2.zip");
  SaveDownloadRecord("zipMd5", kMd5);
  const std::string replaced = FileInfoOf("1.4.2", std::string(32, 'e'));
  WriteFile("Kelpstone/fileInfo_1_4_2.json", replaced);
  WriteFile("Kelpstone/fileInfo_1_4_2.json.minisig",
            Sign(*publisher_, replaced, TrustedComment(kSignedAt, "fileInfo_1_4_2.json")));

  EXPECT_EQ(RunCheck().first, "Marlwood77301/game_1_4_2.zip");
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/fileInfo_1_4_2.json")), 1u);
}

TEST_F(SignedCheckTest, OverrideFilesNeedTheirSignaturesBesideThem) {
  const Published release = SignedRelease();
  WriteFile("local_config.json", release.config);
  Serve(FileInfoName("1.4.2"), release.fileInfo);
  Serve(FileInfoName("1.4.2") + ".minisig", release.fileInfoSignature);
  Verdict verdict = RunCheck();
  EXPECT_EQ(verdict.first, kErrorPrefix + std::string("local_config.json.minisig: signature missing"));

  WriteFile("local_config.json.minisig",
            Sign(*publisher_, release.config, TrustedComment(kSignedAt, "local_config.json")));
  EXPECT_EQ(RunCheck().status, "needUpdate");

  WriteFile("local_fileInfo.json", release.fileInfo);
  verdict = RunCheck();
  EXPECT_EQ(verdict.first,
            kErrorPrefix + std::string("local_fileInfo.json.minisig: signature missing"));
  WriteFile("local_fileInfo.json.minisig",
            Sign(*publisher_, release.fileInfo, TrustedComment(kSignedAt, "local_fileInfo.json")));
  EXPECT_EQ(RunCheck().status, "needUpdate");
}

TEST_F(SignedCheckTest, SignatureTimeOutAsksAndRetryFetchesThePairAgain) {
  Published release = SignedRelease();
  Serve(release);
  requester_.Serve(Url("Marlwood77301/config.json.minisig"), {"hang", "", 0});
  boxes_.QueueAnswer(platform::kIdRetry);
  boxes_.HoldBoxes();

  auto verdict = std::make_shared<std::promise<Verdict>>();
  auto future = verdict->get_future();
  check_.Run([verdict](const std::string& status, const std::string& first, const std::string&,
                       int64_t, int64_t) { verdict->set_value({status, first}); });
  ASSERT_TRUE(boxes_.WaitForBoxes(1, 5000));
  // Retry is pressed only once the signature is back, so the second pair finds it.
  Serve("config.json.minisig", release.configSignature);
  boxes_.ReleaseBoxes();
  ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(future.get().status, "needUpdate");
  EXPECT_EQ(boxes_.Shown()[0].text, "请求超时，点击重试？");
  EXPECT_EQ(requester_.CountRequested(Url("Marlwood77301/config.json")), 2u);
}
