// Paths past MAX_PATH: the "\\?\" form the wide calls are given, and every file call of the
// launcher on the relative narrow paths it builds, past 300 characters once the working directory
// is put in front.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fs/stdio_file.h"
#include "fs/text_file.h"
#include "install/zip_util.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "platform/replace_file.h"
#include "platform/win32/long_path.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using testing_support::InTempDir;
using testing_support::UnzipRecorder;
using testing_support::ZipBuilder;

namespace {

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  return std::wstring(buffer, length);
}

TEST(LongPathForm, LongPathsBecomeAbsoluteBackslashedAndPrefixed) {
  const std::wstring a(150, L'a');
  const std::wstring b(150, L'b');
  const std::wstring cwd = CurrentDirectory();
  struct Case {
    std::wstring path;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {L"", L""},
      {L"Kelpstone\\downloadRecord", L"Kelpstone\\downloadRecord"},
      {L"Kelpstone/data/../readme.txt", L"Kelpstone/data/../readme.txt"},
      {L"C:\\short\\name.txt", L"C:\\short\\name.txt"},
      // Relative: the working directory in front, "." and ".." gone, slashes turned.
      {L"Kelpstone/" + a + L"/./" + b + L"/../" + b + L"/x.txt",
       L"\\\\?\\" + cwd + L"\\Kelpstone\\" + a + L"\\" + b + L"\\x.txt"},
      {L"C:\\" + a + L"\\" + b, L"\\\\?\\C:\\" + a + L"\\" + b},
      {L"\\\\server\\share\\" + a + L"\\" + b, L"\\\\?\\UNC\\server\\share\\" + a + L"\\" + b},
      // Already in a form the system takes as it stands.
      {L"\\\\?\\C:\\" + a + L"\\" + b, L"\\\\?\\C:\\" + a + L"\\" + b},
      {L"\\\\.\\pipe\\" + a + L"\\" + b, L"\\\\.\\pipe\\" + a + L"\\" + b},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::LongPathForm(c.path), c.expected) << c.path.size();
  }
}

}  // namespace

// The launcher's own calls on the paths it builds: relative and narrow, joined from the working
// directory's folders and the package's names.
class LongPathFiles : public InTempDir {
 protected:
  LongPathFiles() : deep_("Kelpstone\\" + std::string(150, 'a') + "\\" + std::string(150, 'b')) {}
  std::string deep_;
};

TEST_F(LongPathFiles, TheLaunchersFileCallsWorkPastThreeHundredCharacters) {
  ASSERT_EQ(platform::MakeDirectory("Kelpstone"), platform::MakeDirResult::Created);
  ASSERT_EQ(platform::MakeDirectory("Kelpstone\\" + std::string(150, 'a')),
            platform::MakeDirResult::Created);
  ASSERT_EQ(platform::MakeDirectory(deep_), platform::MakeDirResult::Created);

  const std::string record = deep_ + "\\downloadRecord";
  ASSERT_GT(platform::WorkingDirectory().size() + 1 + record.size(), 300u);
  ASSERT_TRUE(WriteTextFile(record, "zipName=x.zip\n"));
  EXPECT_EQ(ReadTextFile(record), "zipName=x.zip\n");
  EXPECT_EQ(platform::FileSize(record), 15u);
  EXPECT_TRUE(platform::LastWriteTimeMs(record).has_value());
  platform::InputFile input;
  ASSERT_TRUE(input.Open(record));
  char bytes[64];
  EXPECT_EQ(input.Read(bytes, sizeof bytes), 15);
  input.Close();
  EXPECT_TRUE(platform::FreeDiskBytes(deep_).has_value());

  const std::string download = deep_ + "\\game.zip";
  EXPECT_NE(FilePtr(platform::OpenFile(download, "wb")), nullptr);
  ZipBuilder().AddFile("data/" + std::string(100, 'c') + "/deep.txt", "deep\n").WriteTo("p.zip");
  ASSERT_TRUE(platform::ReplaceByRename("p.zip", download));
  UnzipRecorder recorder;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(ZipUtil::Unzip(download, deep_, recorder.Callback()));
  testing::internal::GetCapturedStdout();
  const std::string extracted = deep_ + "\\data\\" + std::string(100, 'c') + "\\deep.txt";
  EXPECT_EQ(ReadTextFile(extracted), "deep\n");
  EXPECT_TRUE(platform::RemoveFile(extracted));
  EXPECT_FALSE(platform::PathExists(extracted));
}
