// What must hold whatever the system's ANSI code page: the suite runs in the zh_CN prefix (code
// page 936) and again in the en_US one (1252, scripts/test-windows.sh). The built-in texts draw
// and show as the intended characters, and a package whose names the code page lacks installs,
// is found installed and is deleted.

#include <gtest/gtest.h>
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "fs/directory.h"
#include "install/zip_util.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "tests/support/fresh_drawables.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"
#include "ui/my_label.h"
#include "update/check.h"

using testing_support::InTempDir;
using testing_support::ZipBuilder;

namespace {

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

// --- labels -------------------------------------------------------------------------------

struct LabelCase {
  const char* name;
  const char* gbk;      // as the splash sets it: a built-in literal
  const wchar_t* wide;  // the characters meant
  float size;
};

void PrintTo(const LabelCase& c, std::ostream* out) { *out << c.name; }

// What the label drew, as an ink mask: 1 where any alpha was left.
std::vector<bool> LabelInk(const LabelCase& c, int32_t width, int32_t height) {
  const std::unique_ptr<platform::WindowSystem> windows = platform::CreateWindowSystem(nullptr, nullptr);
  std::unique_ptr<platform::Surface> surface = windows->CreateSurface(width, height);
  MyLabel* label = CreateLabel(nullptr, c.gbk, c.size, {0, 0, -1, -1});
  label->SetPosition(4, 4);
  label->Draw(surface->GetCanvas());
  const platform::PixelBuffer pixels = surface->ReadPixels();
  std::vector<bool> ink(pixels.argb.size());
  for (size_t i = 0; i < ink.size(); ++i) ink[i] = (pixels.argb[i] >> 24) != 0;
  return ink;
}

// The same text in the same face, size and style, drawn by GDI+ from the characters themselves.
std::vector<bool> ReferenceInk(const LabelCase& c, int32_t width, int32_t height) {
  Gdiplus::Bitmap bitmap(width, height, PixelFormat32bppPARGB);
  std::vector<bool> ink(static_cast<size_t>(width) * height);
  {
    Gdiplus::Graphics graphics(&bitmap);
    const Gdiplus::FontFamily family(L"宋体");
    const Gdiplus::Font font(&family, c.size, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
    const Gdiplus::SolidBrush brush(Gdiplus::Color(255, 255, 255, 255));
    if (graphics.DrawString(c.wide, -1, &font, Gdiplus::RectF(4, 4, 0, 0), nullptr, &brush) !=
        Gdiplus::Ok) {
      return ink;
    }
  }
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      Gdiplus::Color color;
      bitmap.GetPixel(x, y, &color);
      ink[static_cast<size_t>(y) * width + x] = color.GetA() != 0;
    }
  }
  return ink;
}

class AnyCodePageLabels : public testing_support::FreshDrawables,
                          public testing::WithParamInterface<LabelCase> {};

// --- message boxes --------------------------------------------------------------------------

struct FoundBox {
  DWORD thread = 0;  // the thread that shows the box
  HWND box = nullptr;
};

BOOL CALLBACK FindBoxOfThread(HWND window, LPARAM found) {
  FoundBox& wanted = *reinterpret_cast<FoundBox*>(found);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (GetWindowThreadProcessId(window, nullptr) == wanted.thread &&
      std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
    wanted.box = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

BOOL CALLBACK CollectChildTexts(HWND child, LPARAM texts) {
  reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(WindowText(child));
  return TRUE;
}

struct DialogCase {
  const char* name;
  const char* text;  // built-in literals, as the launcher passes them
  const char* caption;
  const wchar_t* wideText;  // the characters meant
  const wchar_t* wideCaption;
  unsigned flags;
  int answer;  // the button the case presses
};

void PrintTo(const DialogCase& c, std::ostream* out) { *out << c.name; }

class AnyCodePageDialogs : public testing::TestWithParam<DialogCase> {};

// --- packages -------------------------------------------------------------------------------

namespace fs = std::filesystem;

// Files named by their characters (the wide calls), whatever the code page holds.
std::string ReadNamed(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteNamed(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class AnyCodePagePackage : public InTempDir {};

class AnyCodePageEntryNames : public InTempDir, public testing::WithParamInterface<bool> {};

}  // namespace

TEST(CodePage1252, TheWinePrefixRunsWithTheWesternCodePage) {
  EXPECT_EQ(GetACP(), 1252u) << "this case runs in the en_US prefix";
}

TEST_P(AnyCodePageLabels, BuiltInTextsHaveInkWhereTheirCharactersHave) {
  const LabelCase& c = GetParam();
  const int32_t width = 520, height = 40;
  const std::vector<bool> drawn = LabelInk(c, width, height);
  const std::vector<bool> reference = ReferenceInk(c, width, height);
  int referenceInk = 0, both = 0, drawnOnly = 0;
  for (size_t i = 0; i < drawn.size(); ++i) {
    referenceInk += reference[i];
    both += reference[i] && drawn[i];
    drawnOnly += drawn[i] && !reference[i];
  }
  ASSERT_GT(referenceInk, 30) << "the Song face draws the characters";
  EXPECT_GE(both, referenceInk * 9 / 10) << both << " of " << referenceInk;
  EXPECT_LE(drawnOnly, referenceInk / 10) << drawnOnly << " pixels of ink where none belongs";
}

INSTANTIATE_TEST_SUITE_P(
    SplashTexts, AnyCodePageLabels,
    testing::Values(LabelCase{"Status", "下载中....", L"下载中....", 20},
                    LabelCase{"Sizes", "0Mb/0Mb", L"0Mb/0Mb", 16},
                    LabelCase{"Notice", "抵制不良游戏，拒绝盗版游戏，注意自我保护，谨防受骗上当",
                              L"抵制不良游戏，拒绝盗版游戏，注意自我保护，谨防受骗上当", 16}),
    [](const testing::TestParamInfo<LabelCase>& info) { return std::string(info.param.name); });

TEST_P(AnyCodePageDialogs, TitleAndTextReadBackAsTheBuiltInCharacters) {
  const DialogCase& c = GetParam();
  auto answer = std::make_shared<std::atomic<int>>(0);
  auto thread = std::make_shared<std::atomic<DWORD>>(0);
  // Detached and sharing its state: if the box never shows, the thread outlives the case.
  std::thread([answer, thread, c] {
    *thread = GetCurrentThreadId();
    *answer = platform::ShowMessageBox(c.text, c.caption, c.flags);
  }).detach();

  FoundBox found;
  const DWORD start = GetTickCount();
  while (found.box == nullptr && GetTickCount() - start < 10000) {
    found.thread = thread->load();
    if (found.thread != 0) EnumWindows(&FindBoxOfThread, reinterpret_cast<LPARAM>(&found));
    if (found.box == nullptr) Sleep(20);
  }
  ASSERT_NE(found.box, nullptr) << "the box never showed";
  const std::wstring caption = WindowText(found.box);
  std::vector<std::wstring> texts;
  EnumChildWindows(found.box, &CollectChildTexts, reinterpret_cast<LPARAM>(&texts));
  PostMessageW(found.box, WM_COMMAND, c.answer, 0);

  EXPECT_EQ(caption, c.wideCaption);
  EXPECT_NE(std::find(texts.begin(), texts.end(), std::wstring(c.wideText)), texts.end());
  const DWORD answered = GetTickCount();
  while (answer->load() == 0 && GetTickCount() - answered < 10000) Sleep(20);
  EXPECT_EQ(answer->load(), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    LauncherBoxes, AnyCodePageDialogs,
    testing::Values(
        DialogCase{"TimeOutPrompt", "请求超时，点击重试？", "请求超时", L"请求超时，点击重试？",
                   L"请求超时",
                   platform::kMbRetryCancel | platform::kMbIconError | platform::kMbSystemModal,
                   IDCANCEL},
        // A built-in folder name inside the text: ASCII reads the same in every code page.
        DialogCase{"MissingGame", "Kelpstone/runa3D.exe文件不存在", "",
                   L"Kelpstone/runa3D.exe文件不存在", L"", platform::kMbSystemModal, IDOK}),
    [](const testing::TestParamInfo<DialogCase>& info) { return std::string(info.param.name); });

TEST_P(AnyCodePageEntryNames, ChineseNamesAreExtractedUnderTheirOwnCharacters) {
  ZipBuilder()
      .FlagNamesAsUtf8(GetParam())
      .AddFile(Utf8(u8"data/中文.txt"), "chinese")
      .AddFile("data/plain.txt", "plain")
      .WriteTo("pack.zip");

  testing::internal::CaptureStdout();
  const bool extracted = ZipUtil::Unzip("pack.zip", "Kelpstone", nullptr);
  const std::string log = testing::internal::GetCapturedStdout();

  ASSERT_TRUE(extracted) << log;
  EXPECT_EQ(ReadNamed(L"Kelpstone\\data\\中文.txt"), "chinese");
  EXPECT_EQ(ReadNamed(L"Kelpstone\\data\\plain.txt"), "plain");
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutTheUtf8Flag, AnyCodePageEntryNames, testing::Bool());

TEST_F(AnyCodePagePackage, InstalledFilesAreFoundByTheirOwnCharacters) {
  WriteNamed(L"Kelpstone\\资料\\中文.txt", "x");

  EXPECT_TRUE(Check::FilesPresent({Utf8(u8"资料/中文.txt")}));
  EXPECT_FALSE(Check::FilesPresent({Utf8(u8"资料/中文.txt"), Utf8(u8"资料/别的.txt")}));
}

TEST_F(AnyCodePagePackage, TheFolderIsEmptiedWhateverItsNames) {
  WriteNamed(L"pkg\\资料\\中文.txt", "x");
  WriteNamed(L"pkg\\游戏_1_0_0.zip", "z");

  testing::internal::CaptureStdout();
  ClearPackageFolder("pkg");
  testing::internal::GetCapturedStdout();

  EXPECT_TRUE(fs::is_directory(L"pkg")) << "the folder itself stays";
  EXPECT_TRUE(fs::is_empty(L"pkg"));
}
