// Check::SelectFileInfo reading arbitrary config texts, in a working directory whose download
// record names an installed version and holds a fresh cached document, so the unsupported-version
// patterns of the text are matched too.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/layout.h"
#include "tests/fuzz/fuzz_check.h"
#include "update/check.h"
#include "update/json_util.h"

namespace {

void Write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/tidewake-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  std::filesystem::current_path(pattern);
  std::filesystem::create_directories(installDirName);
  Write(downloadRecordPath, "zipName=" + packageFolderName + "/game_1_4_2.zip\r\nzipMd5=abc");
  Write(installDirName + "/fileInfo_1_4_2.json", R"({"zipName":"x","zipMd5":"y"})");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Check check;
  std::string path;
  try {
    const std::string choice = check.SelectFileInfo(text, path);
    FUZZ_CHECK(choice == "localFileInfo" || choice == "remoteFileInfo");
    FUZZ_CHECK(!path.empty());
  } catch (const JsonToObjectException&) {
  }
  return 0;
}
