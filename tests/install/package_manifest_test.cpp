// The manifest of what an install wrote, read back as the next update reads it.

#include "install/package_manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/layout.h"
#include "install/zip_util.h"
#include "platform/files.h"
#include "platform/utf8_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using testing_support::AgeFile;
using testing_support::CompressibleText;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

namespace fs = std::filesystem;

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

std::string Installed(const std::string& name) {
  std::string path = platform::utf8::FromNarrow(installDirName) + platform::kPathSeparator;
  for (char c : name) path += c == '/' ? platform::kPathSeparator : c;
  return path;
}

std::vector<ZipDirectoryEntry> InstallPackage(const ZipBuilder& builder) {
  builder.WriteTo("package.zip");
  testing::internal::CaptureStdout();
  const bool extracted = ZipUtil::Unzip("package.zip", installDirName, nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(extracted);
  return ReadZipDirectoryOfFile("package.zip").value_or(std::vector<ZipDirectoryEntry>{});
}

class PackageManifestTest : public InTempDir {};

TEST_F(PackageManifestTest, FileStampIsTheFilesSizeAndLastWriteTime) {
  WriteFile("stamped.bin", std::string(1234, 'x'));
  AgeFile("stamped.bin", 3600);
  const std::optional<platform::utf8::FileStamp> stamp =
      platform::utf8::FileSizeAndTime(platform::utf8::FromNarrow("stamped.bin"));
  ASSERT_TRUE(stamp.has_value());
  EXPECT_EQ(stamp->bytes, 1234u);
  EXPECT_EQ(stamp->mtimeNs / 1000000, *platform::LastWriteTimeMs("stamped.bin"));

  fs::create_directory("folder");
  EXPECT_FALSE(platform::utf8::FileSizeAndTime("folder").has_value());
  EXPECT_FALSE(platform::utf8::FileSizeAndTime("nothing").has_value());
}

TEST_F(PackageManifestTest, EveryInstalledFileRoundTripsWithItsStamp) {
  const std::vector<ZipDirectoryEntry> directory =
      InstallPackage(ZipBuilder()
                         .AddFile("runa3D.exe", "game")
                         .AddDirectory("data/")
                         .AddFile("data/levels one.txt", CompressibleText(40000))
                         .AddFile(Utf8(u8"data/地图 #1%.txt"), "map")
                         .AddFile("data/empty.txt", ""));
  ASSERT_EQ(directory.size(), 5u);

  ASSERT_TRUE(WritePackageManifest(packageManifestPath, installDirName, directory));

  const std::vector<ManifestEntry> read = ReadPackageManifest(packageManifestPath);
  ASSERT_EQ(read.size(), 4u);  // the folder entry has no file to stat
  size_t at = 0;
  for (const ZipDirectoryEntry& entry : directory) {
    if (entry.name == "data/") continue;
    SCOPED_TRACE(entry.name);
    const ManifestEntry& got = read[at++];
    EXPECT_EQ(got.name, entry.name);
    EXPECT_EQ(got.crc32, entry.crc32);
    EXPECT_EQ(got.uncompressedBytes, entry.uncompressedBytes);
    const auto stamp = platform::utf8::FileSizeAndTime(Installed(entry.name));
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(got.installedBytes, stamp->bytes);
    EXPECT_EQ(got.installedMtime, stamp->mtimeNs);
  }
}

// Entries whose file cannot be told apart, or whose name a line cannot hold, are left out: the
// next update fetches them, which is always safe.
TEST_F(PackageManifestTest, EntriesThatCannotBeVouchedForAreLeftOut) {
  ZipBuilder builder;
  builder.AddFile("kept.txt", "kept")
      .AddFile("twice.txt", "first")
      .AddFile("twice.txt", "second")
      .AddFile("gone.txt", "gone")
      .AddFile("grown.txt", "grown");
#ifndef _WIN32
  // Windows allows none of these characters in file names; elsewhere they are real files.
  builder.AddFile("tab\there.txt", "t")
      .AddFile("line\nfeed.txt", "l")
      .AddFile("car\rriage.txt", "c");
#endif
  const std::vector<ZipDirectoryEntry> directory = InstallPackage(builder);
  fs::remove(Installed("gone.txt"));
  WriteFile(Installed("grown.txt"), "grown longer");

  ASSERT_TRUE(WritePackageManifest(packageManifestPath, installDirName, directory));

  const std::vector<ManifestEntry> read = ReadPackageManifest(packageManifestPath);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].name, "kept.txt");
}

// Text that is not a whole manifest of this format is no manifest: everything is fetched.
struct Text {
  const char* label;
  std::string text;
  size_t entries;
};

void PrintTo(const Text& text, std::ostream* out) { *out << text.label; }

class ManifestTextTest : public PackageManifestTest, public testing::WithParamInterface<Text> {};

TEST_P(ManifestTextTest, ReadsWholeManifestsOnly) {
  fs::create_directory(installDirName);
  WriteFile(packageManifestPath, GetParam().text);
  EXPECT_EQ(ReadPackageManifest(packageManifestPath).size(), GetParam().entries);
}

const std::string kHead = "tidewake-manifest 1\n";
const std::string kLine = "0a1b2c3d\t12\t12\t1700000000123456789\tdata/a.txt\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestTextTest,
    testing::Values(
        Text{"TwoLines", kHead + kLine + kLine, 2},
        Text{"WrittenWithCrLf",
             "tidewake-manifest 1\r\n" + std::string("0a1b2c3d\t12\t12\t-5\ta b.txt\r\n"), 1},
        Text{"OnlyTheHeader", kHead, 0}, Text{"OtherFormat", "tidewake-manifest 2\n" + kLine, 0},
        Text{"NoHeader", kLine, 0},
        Text{"LastLineCutShort", kHead + kLine + kLine.substr(0, 30), 0},
        Text{"CrcNotHex", kHead + "0a1b2c3g\t12\t12\t1\ta\n", 0},
        Text{"CrcTooShort", kHead + "a1b2c3d\t12\t12\t1\ta\n", 0},
        Text{"NegativeSize", kHead + "0a1b2c3d\t-12\t12\t1\ta\n", 0},
        Text{"SizeTooLarge", kHead + "0a1b2c3d\t99999999999999999999\t12\t1\ta\n", 0},
        Text{"TimeNotANumber", kHead + "0a1b2c3d\t12\t12\t1x\ta\n", 0},
        Text{"FieldMissing", kHead + "0a1b2c3d\t12\t12\ta\n", 0},
        Text{"EmptyName", kHead + "0a1b2c3d\t12\t12\t1\t\n", 0}),
    [](const testing::TestParamInfo<Text>& info) { return std::string(info.param.label); });

TEST_F(PackageManifestTest, NewManifestReplacesTheOldOneAndAFailedWriteLeavesNone) {
  const std::vector<ZipDirectoryEntry> first = InstallPackage(ZipBuilder().AddFile("a.txt", "one"));
  ASSERT_TRUE(WritePackageManifest(packageManifestPath, installDirName, first));
  const std::vector<ZipDirectoryEntry> second =
      InstallPackage(ZipBuilder().AddFile("a.txt", "two!").AddFile("b.txt", "new"));
  ASSERT_TRUE(WritePackageManifest(packageManifestPath, installDirName, second));
  const std::vector<ManifestEntry> read = ReadPackageManifest(packageManifestPath);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].crc32, second[0].crc32);
  EXPECT_EQ(read[0].uncompressedBytes, 4u);

  // The temporary name taken by a folder: the manifest cannot be written.
  fs::create_directory(packageManifestPath + ".new");
  EXPECT_FALSE(WritePackageManifest(packageManifestPath, installDirName, first));
  EXPECT_FALSE(platform::PathExists(packageManifestPath));
}

}  // namespace
