#include "platform/detached_thread.h"

#include <exception>

#include "platform/diagnostics.h"

namespace platform {

namespace {

std::string WhatEscaped() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace

void RunThreadBody(ThreadBody& body) noexcept {
  std::string what;
  try {
    body.Run();
    return;
  } catch (...) {
    what = WhatEscaped();
  }
  Diagnostic("worker ended by an exception: %s\n", what.c_str());
  try {
    body.Failed(what);
  } catch (...) {
    const std::string again = WhatEscaped();
    Diagnostic("worker's failure path ended by an exception: %s\n", again.c_str());
  }
}

}  // namespace platform
