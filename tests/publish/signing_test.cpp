#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/publish/publish_fixture.h"
#include "tests/support/temp_dir.h"

using publish_testing::kFolder;
using publish_testing::MakeGame;
using publish_testing::Minisign;
using publish_testing::ProgramRun;
using publish_testing::Tool;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class SigningTest : public InTempDir {
 protected:
  static bool MinisignAccepts(const std::string& file, const std::string& publicKey) {
    const ProgramRun run = Minisign({"-Vm", file, "-p", publicKey});
    return run.status == 0 && run.output.find("Signature and comment signature verified") !=
                                  std::string::npos;
  }
};

TEST_F(SigningTest, MinisignVerifiesWhatTheToolSignsAndRefusesItChanged) {
  ASSERT_EQ(Tool({"keygen", "-p", "tool.pub", "-s", "tool.key", "-W"}).status, 0);
  WriteFile("notes.txt", "release notes");
  ASSERT_EQ(Tool({"sign", "-s", "tool.key", "notes.txt"}).status, 0);

  EXPECT_TRUE(MinisignAccepts("notes.txt", "tool.pub"));
  const std::string signature = ReadFile("notes.txt.minisig");
  EXPECT_NE(signature.find("\ntrusted comment: timestamp:"), std::string::npos) << signature;
  EXPECT_NE(signature.find("\tfile:notes.txt\thashed\n"), std::string::npos) << signature;

  WriteFile("notes.txt", "release notes!");
  EXPECT_FALSE(MinisignAccepts("notes.txt", "tool.pub"));
}

TEST_F(SigningTest, KeysMadeByMinisignSignWithTheTool) {
  ASSERT_EQ(Minisign({"-G", "-W", "-p", "minisign.pub", "-s", "minisign.key"}).status, 0);
  WriteFile("notes.txt", "release notes");

  ASSERT_EQ(Tool({"sign", "-s", "minisign.key", "notes.txt"}).status, 0);

  EXPECT_TRUE(MinisignAccepts("notes.txt", "minisign.pub"));
}

TEST_F(SigningTest, PasswordProtectedKeysGoBothWays) {
  WriteFile("notes.txt", "release notes");
  // The tool's encrypted key: signs with the password from the environment, not without it or
  // with another, and minisign decrypts it with the same password.
  ASSERT_EQ(Tool({"keygen", "-p", "tool.pub", "-s", "tool.key"}, "correct horse").status, 0);
  EXPECT_NE(ReadFile("tool.key").find("\nRWRTY0Iy"), std::string::npos);  // "Ed" "Sc" "B2"
  const ProgramRun wrong = Tool({"sign", "-s", "tool.key", "notes.txt"}, "wrong horse");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.output.find("wrong password"), std::string::npos) << wrong.output;
  EXPECT_EQ(Tool({"sign", "-s", "tool.key", "notes.txt"}).status, 1);  // no terminal, no variable
  EXPECT_FALSE(std::filesystem::exists("notes.txt.minisig"));
  ASSERT_EQ(Tool({"sign", "-s", "tool.key", "notes.txt"}, "correct horse").status, 0);
  EXPECT_TRUE(MinisignAccepts("notes.txt", "tool.pub"));
  std::filesystem::remove("notes.txt.minisig");
  ASSERT_EQ(Minisign({"-S", "-s", "tool.key", "-m", "notes.txt"}, "correct horse\n").status, 0);
  EXPECT_TRUE(MinisignAccepts("notes.txt", "tool.pub"));

  // minisign's encrypted key signs with the tool.
  std::filesystem::remove("notes.txt.minisig");
  ASSERT_EQ(Minisign({"-G", "-p", "minisign.pub", "-s", "minisign.key"}, "battery\nbattery\n").status, 0);
  ASSERT_EQ(Tool({"sign", "-s", "minisign.key", "notes.txt"}, "battery").status, 0);
  EXPECT_TRUE(MinisignAccepts("notes.txt", "minisign.pub"));
}

TEST_F(SigningTest, PackSignsBothDocumentsForMinisign) {
  MakeGame("game");
  ASSERT_EQ(Tool({"keygen", "-p", "tool.pub", "-s", "tool.key", "-W"}).status, 0);

  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server", "-s", "tool.key"}).status, 0);

  EXPECT_TRUE(MinisignAccepts(kFolder + "/config.json", "tool.pub"));
  EXPECT_TRUE(MinisignAccepts(kFolder + "/fileInfo_1_0_0.json", "tool.pub"));
  EXPECT_NE(ReadFile(kFolder + "/config.json.minisig").find("\tfile:config.json\thashed"),
            std::string::npos);
}

TEST_F(SigningTest, ExistingKeysAreNotReplacedUnlessForced) {
  ASSERT_EQ(Tool({"keygen", "-p", "tool.pub", "-s", "tool.key", "-W"}).status, 0);
  const std::string key = ReadFile("tool.key");

  EXPECT_EQ(Tool({"keygen", "-p", "tool.pub", "-s", "tool.key", "-W"}).status, 1);
  EXPECT_EQ(ReadFile("tool.key"), key);
  EXPECT_EQ(std::filesystem::status("tool.key").permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::none);
  EXPECT_EQ(Tool({"keygen", "-p", "tool.pub", "-s", "tool.key", "-W", "-f"}).status, 0);
  EXPECT_NE(ReadFile("tool.key"), key);
}

}  // namespace
