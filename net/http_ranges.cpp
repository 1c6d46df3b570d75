#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "net/curl_transfer.h"
#include "net/http_util.h"
#include "platform/diagnostics.h"

using namespace net_detail;

namespace {

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

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool ReadNumber(std::string_view& text, uint64_t& value) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return false;
  value = 0;
  while (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
    const uint64_t digit = static_cast<uint64_t>(text.front() - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
    text.remove_prefix(1);
  }
  return true;
}

// "bytes first-last/total" or "bytes first-last/*" (total then stays unset).
bool ParseContentRange(std::string_view text, uint64_t& first, uint64_t& last,
                       std::optional<uint64_t>& total) {
  text = Trimmed(text);
  if (!StartsWithNoCase(text, "bytes ")) return false;
  text.remove_prefix(6);
  text = Trimmed(text);
  if (!ReadNumber(text, first) || text.empty() || text.front() != '-') return false;
  text.remove_prefix(1);
  if (!ReadNumber(text, last) || text.empty() || text.front() != '/') return false;
  text.remove_prefix(1);
  if (text == "*") return last >= first;
  uint64_t size = 0;
  if (!ReadNumber(text, size) || !text.empty()) return false;
  total = size;
  return last >= first && last < size;
}

// Headers of every response arrive here, redirects' included: a status line starts afresh.
size_t KeepHeader(char* data, size_t size, size_t count, void* userdata) {
  auto& state = *static_cast<RangeState*>(userdata);
  const std::string_view line(data, size * count);
  if (StartsWithNoCase(line, "HTTP/")) {
    const size_t blank = line.find(' ');
    state.status = blank == std::string_view::npos ? 0 : std::atol(std::string(line.substr(blank + 1, 3)).c_str());
    state.contentRange.clear();
  } else if (StartsWithNoCase(line, "Content-Range:")) {
    state.contentRange = std::string(Trimmed(line.substr(14)));
  }
  return size * count;
}

// The first bytes of a response decide whether it is the range asked for.
bool AcceptResponse(RangeState& state) {
  if (state.status == 200 || state.status == 206) {
    uint64_t first = 0, last = 0;
    std::optional<uint64_t> total;
    const RangeTask& task = *state.task;
    if (state.status == 206 && ParseContentRange(state.contentRange, first, last, total) &&
        first == state.next && last + 1 == state.end &&
        (!task.objectBytes || total == task.objectBytes)) {
      return true;
    }
    state.ignored = true;
    return false;
  }
  state.refused = true;
  state.refusal = FormatMessage("range answered with status %ld", state.status);
  return false;
}

size_t ReceiveRange(char* data, size_t size, size_t count, void* userdata) {
  auto& state = *static_cast<RangeState*>(userdata);
  const size_t bytes = size * count;
  if (!state.checked) {
    if (!AcceptResponse(state)) return 0;  // anything but count stops the transfer
    state.checked = true;
  }
  if (bytes > state.end - state.next) {
    state.refused = true;
    state.refusal = "range answered with more bytes than asked";
    return 0;
  }
  if (!state.task->sink(state.next, std::string_view(data, bytes))) {
    state.refused = true;
    state.refusal = "range bytes could not be kept";
    return 0;
  }
  state.next += bytes;
  state.done += bytes;
  state.task->callback("trans", "", static_cast<double>(state.done),
                       static_cast<double>(state.total));
  return count;
}

std::string RangeHeaderValue(uint64_t start, uint64_t end) {
  return std::to_string(start) + "-" + std::to_string(end - 1);
}

}  // namespace

void HttpUtil::FetchRanges(const RangeTask& task) {
  RangeState state;
  state.task = &task;
  for (const auto& [start, end] : task.ranges) state.total += end > start ? end - start : 0;

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
      state.checked = false;
      state.status = 0;
      state.contentRange.clear();
      const std::string range = RangeHeaderValue(state.next, state.end);
      curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
      const CURLcode code = curl_easy_perform(curl);
      if (state.ignored || (code == CURLE_OK && !state.checked && state.status == 200)) {
        platform::Diagnostic("range %s of %s not honoured (status %ld, Content-Range \"%s\")\n",
                             range.c_str(), task.url.c_str(), state.status,
                             state.contentRange.c_str());
        handle.reset();
        task.callback("rangeIgnored", "", static_cast<double>(state.status), 0);
        return;
      }
      if (state.refused || (code == CURLE_OK && !state.checked)) {
        const std::string message =
            state.refused ? state.refusal
                          : FormatMessage("range answered with status %ld and no bytes", state.status);
        platform::Diagnostic("%s\n", message.c_str());
        handle.reset();
        task.callback("fail", message, 0, static_cast<double>(state.status));
        return;
      }
      if (state.next == state.end) break;
      // Cut short (or a transport failure before any byte): ask for what is missing.
      if (state.next == before && --attemptsLeft <= 0) {
        const std::string message =
            FormatMessage("curl perform fail, curl_code %d (%s), ret_code %d",
                          static_cast<int>(code), curl_easy_strerror(code),
                          static_cast<int>(state.status));
        platform::Diagnostic("%s\n", message.c_str());
        handle.reset();
        task.callback("fail", message, static_cast<double>(code), static_cast<double>(state.status));
        return;
      }
      platform::Diagnostic("range of %s cut at %llu of [%llu, %llu), asking for the rest\n",
                           task.url.c_str(), static_cast<unsigned long long>(state.next),
                           static_cast<unsigned long long>(start),
                           static_cast<unsigned long long>(end));
    }
  }
  handle.reset();
  platform::Diagnostic("ranges succ from %s: %llu bytes in %zu ranges\n", task.url.c_str(),
                       static_cast<unsigned long long>(state.done), task.ranges.size());
  task.callback("succ", "", static_cast<double>(state.done), 0);
}
