#include <cerrno>
#include <mutex>

#include "platform/held_files.h"
#include "platform/injected_holds.h"

namespace platform {

bool utf8::FailedOnHeldFile(const std::string&) {
  // A running program's file (ETXTBSY), or a file or folder the kernel has in use (EBUSY).
  return errno == EBUSY || errno == ETXTBSY;
}

namespace testing {
namespace {

std::mutex holdMutex;
std::string heldSuffix;
int heldFailures = 0;

}  // namespace

void HoldFilesEndingIn(const std::string& suffix, int failures) {
  std::lock_guard lock(holdMutex);
  heldSuffix = suffix;
  heldFailures = failures;
}

void ReleaseHeldFiles() { HoldFilesEndingIn("", 0); }

bool TakeInjectedHold(const std::string& path) {
  std::lock_guard lock(holdMutex);
  if (heldFailures == 0 || !path.ends_with(heldSuffix)) return false;
  if (heldFailures > 0) --heldFailures;
  errno = EBUSY;
  return true;
}

}  // namespace testing
}  // namespace platform
