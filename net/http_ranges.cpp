#include <cstdint>
#include <optional>
#include <string>

#include "net/curl_transfer.h"
#include "net/http_util.h"
#include "net/range_response.h"
#include "net/side_by_side_ranges.h"
#include "platform/diagnostics.h"

using namespace net_detail;

namespace {

// Below this a fetch is a tail, a directory or a few small entries: one connection asks for it
// in the time a second one would take to shake hands.
constexpr uint64_t kSideBySideFromBytes = 8u << 20;

}  // namespace

void HttpUtil::FetchRanges(const RangeTask& task) {
  RangeState state;
  state.task = &task;
  for (const auto& [start, end] : task.ranges) state.total += end > start ? end - start : 0;
  if (state.total >= kSideBySideFromBytes) {
    FetchRangesSideBySide(task);
    return;
  }

  CurlHandle handle(curl_easy_init());
  CURL* curl = handle.get();
  if (curl == nullptr) {
    task.callback("fail", "can not init curl", 0, 0);
    return;
  }
  SetPackageTransferOptions(curl, task.url);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &KeepHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &ReceiveRange);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);

  for (const auto& [start, end] : task.ranges) {
    if (end <= start) continue;
    state.next = start;
    state.end = end;
    int attemptsLeft = kResumeAttempts;
    while (state.next < state.end) {
      const uint64_t before = state.next;
      BeginRangeRequest(state, state.next, state.end);
      const std::string range = RangeHeaderValue(state.next, state.end);
      curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
      const CURLcode code = curl_easy_perform(curl);
      const std::optional<RangeFetchEnd> ended =
          JudgeRangeAnswer(state, code, before, attemptsLeft, start, end);
      if (ended) {
        handle.reset();
        task.callback(ended->event, ended->message, ended->first, ended->second);
        return;
      }
    }
  }
  handle.reset();
  platform::Diagnostic("ranges succ from %s: %llu bytes in %zu ranges\n", task.url.c_str(),
                       static_cast<unsigned long long>(state.done), task.ranges.size());
  task.callback("succ", "", static_cast<double>(state.done), 0);
}
