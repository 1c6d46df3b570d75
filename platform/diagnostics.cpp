#include "platform/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex& DiagnosticsLock() {
  static std::mutex lock;
  return lock;
}

DiagnosticSink& Sink() {
  static DiagnosticSink sink;
  return sink;
}

}  // namespace

void Diagnostic(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  // Response bodies reach megabytes: the text is sized first rather than cut at a fixed buffer.
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(length));
  }
  va_end(again);

  const std::lock_guard<std::mutex> hold(DiagnosticsLock());
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (Sink()) Sink()(text);
}

void AttachDiagnosticSink(DiagnosticSink sink) {
  const std::lock_guard<std::mutex> hold(DiagnosticsLock());
  Sink() = std::move(sink);
}

}  // namespace platform
