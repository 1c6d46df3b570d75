#pragma once
// One answer to a byte-range request: its status and Content-Range judged before its first byte
// is kept, then its bytes handed on in order. The fetch over one connection and the fetch over
// several share it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "net/curl_transfer.h"
#include "net/http_util.h"

namespace net_detail {

// Answers that end early are asked for the rest this many times per range; an answer that
// brought bytes does not count, so a link that drops now and then still gets through.
constexpr int kResumeAttempts = 3;

// What one response of the current range has shown so far, and where the range stands.
struct RangeState {
  const RangeTask* task = nullptr;
  uint64_t next = 0;  // the next byte of the object the sink expects
  uint64_t end = 0;   // one past the range's last byte
  uint64_t done = 0;  // bytes of all ranges handed to the sink
  uint64_t total = 0;
  long status = 0;
  std::string contentRange;
  bool checked = false;    // the response's status and Content-Range were accepted
  bool ignored = false;    // 200, or a Content-Range other than the one asked
  bool refused = false;    // an error status, a sink that said no, or bytes past the range
  std::string refusal;
};


// Sets what one more request of the range [next, end) starts from.
void BeginRangeRequest(RangeState& state, uint64_t next, uint64_t end);

// CURLOPT_HEADERFUNCTION with a RangeState: the status and Content-Range of each response
// (redirects' included: a status line starts afresh).
size_t KeepHeader(char* data, size_t size, size_t count, void* state);
// CURLOPT_WRITEFUNCTION with a RangeState: the first bytes decide whether the response is the
// range asked for; then the bytes go to the task's sink and its callback hears "trans".
size_t ReceiveRange(char* data, size_t size, size_t count, void* state);

// How a whole fetch ends: the task's final event.
struct RangeFetchEnd {
  std::string event;  // "rangeIgnored" or "fail"
  std::string message;
  double first = 0;
  double second = 0;
};
// One request's answer judged, its diagnostics written: nothing while the fetch goes on (the
// range complete, or cut and to be asked again from state.next: an answer that brought no
// bytes takes one of attemptsLeft), else how the fetch ends. `before` is where the request
// began, [start, end) what the cut's diagnostic names.
std::optional<RangeFetchEnd> JudgeRangeAnswer(const RangeState& state, CURLcode code,
                                              uint64_t before, int& attemptsLeft, uint64_t start,
                                              uint64_t end);

// CURLOPT_RANGE's "first-last" for [start, end).
std::string RangeHeaderValue(uint64_t start, uint64_t end);

}  // namespace net_detail
