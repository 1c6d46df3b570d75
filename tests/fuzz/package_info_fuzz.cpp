// Check::ReadPackageInfo on arbitrary fileInfo texts, and the path check the verdict applies to
// what it read: a malformed document throws JsonToObjectException and nothing else.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fs/safe_path.h"
#include "tests/fuzz/fuzz_check.h"
#include "update/check.h"
#include "update/json_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const PackageInfo info = Check::ReadPackageInfo(text);
    if (IsContainedRelativePath(info.zipName)) FUZZ_CHECK(!LeadsOutsideDestination(info.zipName));
    for (const std::string& entry : info.fileNameList) (void)IsContainedRelativePath(entry);
  } catch (const JsonToObjectException&) {
  }
  return 0;
}
