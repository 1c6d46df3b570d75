#include "net/range_response.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "net/curl_transfer.h"
#include "platform/diagnostics.h"

namespace net_detail {

namespace {


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

}  // namespace

void BeginRangeRequest(RangeState& state, uint64_t next, uint64_t end) {
  state.next = next;
  state.end = end;
  state.checked = false;
  state.status = 0;
  state.contentRange.clear();
}

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

std::optional<RangeFetchEnd> JudgeRangeAnswer(const RangeState& state, CURLcode code,
                                              uint64_t before, int& attemptsLeft, uint64_t start,
                                              uint64_t end) {
  const std::string& url = state.task->url;
  if (state.ignored || (code == CURLE_OK && !state.checked && state.status == 200)) {
    platform::Diagnostic("range %s of %s not honoured (status %ld, Content-Range \"%s\")\n",
                         RangeHeaderValue(before, state.end).c_str(), url.c_str(), state.status,
                         state.contentRange.c_str());
    return RangeFetchEnd{"rangeIgnored", "", static_cast<double>(state.status), 0};
  }
  if (state.refused || (code == CURLE_OK && !state.checked)) {
    const std::string message =
        state.refused ? state.refusal
                      : FormatMessage("range answered with status %ld and no bytes", state.status);
    platform::Diagnostic("%s\n", message.c_str());
    return RangeFetchEnd{"fail", message, 0, static_cast<double>(state.status)};
  }
  if (state.next == state.end) return std::nullopt;
  // Cut short (or a transport failure before any byte): what is missing is asked for again.
  if (state.next == before && --attemptsLeft <= 0) {
    const std::string message = FormatMessage("curl perform fail, curl_code %d (%s), ret_code %d",
                                              static_cast<int>(code), curl_easy_strerror(code),
                                              static_cast<int>(state.status));
    platform::Diagnostic("%s\n", message.c_str());
    return RangeFetchEnd{"fail", message, static_cast<double>(code),
                         static_cast<double>(state.status)};
  }
  platform::Diagnostic("range of %s cut at %llu of [%llu, %llu), asking for the rest\n",
                       url.c_str(), static_cast<unsigned long long>(state.next),
                       static_cast<unsigned long long>(start), static_cast<unsigned long long>(end));
  return std::nullopt;
}

std::string RangeHeaderValue(uint64_t start, uint64_t end) {
  return std::to_string(start) + "-" + std::to_string(end - 1);
}

}  // namespace net_detail
