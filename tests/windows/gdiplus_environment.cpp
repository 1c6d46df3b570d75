// Every Windows test program runs with GDI+ started, as the launcher's entry point does: images
// decode and text draws only between GdiplusStartup and GdiplusShutdown.

#include <gtest/gtest.h>
#include <windows.h>
#include <gdiplus.h>

namespace {

class GdiplusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

 private:
  ULONG_PTR token_ = 0;
};

// Registered before main runs; gtest owns the environment.
[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

}  // namespace
