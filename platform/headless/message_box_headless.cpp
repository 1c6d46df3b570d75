// Boxes without a display: one line on standard error, the answer from TIDEWAKE_DIALOG_ANSWERS
// (comma-separated "retry", "cancel", "ok", consumed in order).

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/text_encoding.h"

namespace platform {
namespace {

std::vector<std::string> ParseAnswers(const char* value) {
  std::vector<std::string> answers;
  if (value == nullptr) return answers;
  std::string current;
  for (const char* p = value;; ++p) {
    if (*p == ',' || *p == '\0') {
      size_t begin = current.find_first_not_of(' ');
      size_t end = current.find_last_not_of(' ');
      answers.push_back(begin == std::string::npos ? "" : current.substr(begin, end - begin + 1));
      current.clear();
      if (*p == '\0') break;
    } else {
      current += *p;
    }
  }
  return answers;
}

std::string OneLine(std::string text) {
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos;) text.replace(at, 1, "\\n");
  return text;
}

}  // namespace

int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  static std::mutex mutex;
  static std::vector<std::string> answers = ParseAnswers(std::getenv("TIDEWAKE_DIALOG_ANSWERS"));
  static size_t next = 0;

  const bool retryCancel = (flags & 0xF) == kMbRetryCancel;
  std::lock_guard lock(mutex);
  int result = retryCancel ? kIdCancel : kIdOk;
  std::string answer;
  if (next < answers.size()) answer = answers[next++];
  if (retryCancel && answer == "retry") result = kIdRetry;
  if (!retryCancel && answer == "ok") result = kIdOk;
  const char* chosen = result == kIdRetry ? "retry" : result == kIdCancel ? "cancel" : "ok";
  std::fprintf(stderr, "[message box] caption=\"%s\" text=\"%s\" buttons=%s answer=%s\n",
               GbkToDisplay(caption).c_str(), OneLine(GbkToDisplay(text)).c_str(),
               retryCancel ? "retry,cancel" : "ok", chosen);
  std::fflush(stderr);
  return result;
}

}  // namespace platform
