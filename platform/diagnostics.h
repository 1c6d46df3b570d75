#pragma once
// Diagnostics: lines for whoever looks into a run, never shown to the player. They go to standard
// output, and once the program attaches a sink (the run's log file) to that sink as well.

#include <functional>
#include <string>

#if defined(__MINGW32__)
#define TIDEWAKE_PRINTF_FORMAT(text, first) __attribute__((format(gnu_printf, text, first)))
#else
#define TIDEWAKE_PRINTF_FORMAT(text, first) __attribute__((format(printf, text, first)))
#endif

namespace platform {

// Formats like printf and writes the text to standard output byte for byte (a text without a
// line end stays without one), then hands the same text, whole, to the attached sink. Safe from
// any thread: one diagnostic's text is never mixed with another's in either place.
void Diagnostic(const char* format, ...) TIDEWAKE_PRINTF_FORMAT(1, 2);

// Every later diagnostic also goes to the sink; an empty function detaches it. The sink runs
// under the diagnostics' lock, one text at a time.
using DiagnosticSink = std::function<void(const std::string& text)>;
void AttachDiagnosticSink(DiagnosticSink sink);

}  // namespace platform
