// The fileInfo cache write at launch; the pending strings are filled by the update check.

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "fs/text_file.h"
#include "platform/diagnostics.h"
#include "update/check.h"

void Check::SaveLastFileInfo() {
  if (lastFileInfoPath.size() < 5 || lastFileInfoText.size() < 100) return;
  try {
    // The signature first: a cache that lacks it, or holds an older one, is only passed over.
    if (!lastFileInfoSignature.empty() &&
        !WriteTextFile(lastFileInfoPath + ".minisig", lastFileInfoSignature)) {
      throw std::runtime_error("can not write " + lastFileInfoPath + ".minisig");
    }
    if (!WriteTextFile(lastFileInfoPath, lastFileInfoText)) {
      throw std::runtime_error("can not write " + lastFileInfoPath);
    }
    lastFileInfoPath.clear();
    lastFileInfoText.clear();
    lastFileInfoSignature.clear();
  } catch (const std::exception& e) {
    platform::Diagnostic("Check::SaveLastFileInfo() Error: %s\n", e.what());
  }
}
