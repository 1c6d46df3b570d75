// Extracts one archive with ZipUtil::Unzip, for timing against other extractors from a script.
// Prints the outcome and the count of entries; exits with 1 when the extraction failed.
// --in-cache leaves out the flush to the disk that an install ends with, so the extraction and
// the flush can be timed apart.

#include <cstdio>
#include <cstring>
#include <string>

#include "install/zip_util.h"

int main(int argc, char** argv) {
  const bool inCache = argc == 4 && std::strcmp(argv[3], "--in-cache") == 0;
  if (argc != 3 && !inCache) {
    std::fprintf(stderr, "usage: %s ARCHIVE DEST_DIR [--in-cache]\n", argv[0]);
    return 2;
  }
  std::string outcome;
  long long entries = 0;
  const bool ok = ZipUtil::Unzip(
      argv[1], argv[2],
      [&](const std::string& event, const std::string& message, long long first, long long second) {
        if (event == "unzip") return;
        outcome = event + (message.empty() ? "" : " " + message);
        entries = second;
        (void)first;
      },
      inCache ? UnzipDurability::InCache : UnzipDurability::OnDisk);
  std::fprintf(stderr, "%s, %lld entries\n", outcome.c_str(), entries);
  return ok ? 0 : 1;
}
