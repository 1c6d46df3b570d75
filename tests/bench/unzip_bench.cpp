// Extracts one archive with ZipUtil::Unzip, for timing against other extractors from a script.
// Prints the outcome and the count of entries; exits with 1 when the extraction failed.
// --in-cache leaves out the flush to the disk that an install ends with, so the extraction and
// the flush can be timed apart; --threads N sets the number of extraction threads (default: as
// the launcher chooses).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "install/zip_util.h"

int main(int argc, char** argv) {
  bool inCache = false;
  UnzipOptions options;
  bool usage = argc < 3;
  for (int i = 3; i < argc && !usage; ++i) {
    if (std::strcmp(argv[i], "--in-cache") == 0) {
      inCache = true;
    } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
      options.threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      usage = true;
    }
  }
  if (usage) {
    std::fprintf(stderr, "usage: %s ARCHIVE DEST_DIR [--in-cache] [--threads N]\n", argv[0]);
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
      inCache ? UnzipDurability::InCache : UnzipDurability::OnDisk, options);
  std::fprintf(stderr, "%s, %lld entries\n", outcome.c_str(), entries);
  return ok ? 0 : 1;
}
