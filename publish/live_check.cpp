#include "publish/live_check.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "core/layout.h"
#include "core/random_numbers.h"
#include "core/strings.h"
#include "update/document_signature.h"
#include "update/json_util.h"
#include "update/text_digest.h"

namespace {

// Enough of a body to judge it: an answer that ignores a range is cut off here.
constexpr size_t kBodyLimit = 8u << 20;
constexpr int64_t kTailBytes = 65536;

struct Answer {
  long status = 0;
  std::string body;
  std::string contentRange;
  int64_t length = -1;  // Content-Length, when sent
  std::string failure;  // the transfer's own error, when there was no answer
};

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
  auto* answer = static_cast<Answer*>(user);
  if (answer->body.size() >= kBodyLimit) return 0;
  answer->body.append(data, size * count);
  return size * count;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

size_t KeepHeader(char* data, size_t size, size_t count, void* user) {
  const std::string line(data, size * count);
  if (StartsWithIgnoringCase(line, "content-range:")) {
    std::string value = line.substr(14);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of("\r\n ") + 1);
    static_cast<Answer*>(user)->contentRange = value;
  }
  return size * count;
}

// One request as the launcher makes it: GET (or HEAD), redirects followed, TLS verified.
Answer Fetch(const std::string& url, const std::string& caBundle, const std::string& range = "",
             bool headOnly = false) {
  Answer answer;
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    answer.failure = "cannot start a transfer";
    return answer;
  }
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, KeepHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &answer);
  if (!caBundle.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, caBundle.c_str());
  if (!range.empty()) curl_easy_setopt(handle, CURLOPT_RANGE, range.c_str());
  if (headOnly) curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  const CURLcode result = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
  curl_off_t length = -1;
  if (curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
    answer.length = length;
  }
  // Cut off on purpose, a whole package sent for a range: the answer is what counts.
  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && answer.body.size() >= kBodyLimit)) {
    answer.failure = curl_easy_strerror(result);
  }
  return answer;
}

std::string WithQuery(const std::string& url) {
  return url + "?rand=" + std::to_string(RandomQueryNumber());
}

class LiveFindings {
 public:
  void Add(const std::string& where, const std::string& what) {
    lines.push_back(where + ": " + what);
  }
  std::vector<std::string> lines;
};

// A document with its signature, as the launcher fetches the pair; nothing when a launcher
// would stop here.
std::optional<std::string> FetchSignedDocument(const LiveCheckRequest& request,
                                               const std::string& name, bool needsTimestamp,
                                               LiveFindings& findings) {
  const std::string url = request.baseUrl + packageFolderName + "/" + name;
  const Answer document = Fetch(WithQuery(url), request.caBundle);
  if (!document.failure.empty() || document.status != 200) {
    findings.Add(url, document.failure.empty() ? "answered " + std::to_string(document.status)
                                               : document.failure);
    return std::nullopt;
  }
  // A cache keyed without the query serves what it holds to every launcher's first request.
  const Answer plain = Fetch(url, request.caBundle);
  if (plain.failure.empty() && plain.status == 200 && plain.body != document.body) {
    findings.Add(url, "without ?rand= the server sends other bytes: a cache serves a stale copy");
  }
  if (request.key == nullptr) return document.body;
  const Answer signature = Fetch(WithQuery(url + ".minisig"), request.caBundle);
  const bool absent = signature.status == 404 || signature.status == 410;
  if (!absent && (!signature.failure.empty() || signature.status != 200)) {
    findings.Add(url + ".minisig", signature.failure.empty()
                                       ? "answered " + std::to_string(signature.status)
                                       : signature.failure);
    return std::nullopt;
  }
  const SignedDocument verdict =
      CheckSignedDocument(*request.key, name, document.body, absent ? "" : signature.body);
  if (!verdict.accepted) {
    findings.Add(url, "launchers with the key refuse it: " + verdict.error);
    return std::nullopt;
  }
  if (needsTimestamp && !verdict.timestamp) {
    findings.Add(url + ".minisig", "its trusted comment carries no timestamp: launchers refuse it");
    return std::nullopt;
  }
  return document.body;
}

std::optional<JsonUtil::Document> Parsed(const std::string& url, const std::string& text,
                                         LiveFindings& findings) {
  try {
    return JsonUtil::ToObject(text);
  } catch (const JsonToObjectException&) {
    findings.Add(url, "not a JSON object (the launcher stops with JsonUtil::ToObject Error)");
    return std::nullopt;
  }
}

// The package's length as served, and a range from its end as the differential road asks.
void CheckPackage(const LiveCheckRequest& request, const std::string& zipName, int64_t zipBytes,
                  LiveFindings& findings) {
  const std::string url = request.baseUrl + zipName;
  const Answer head = Fetch(url, request.caBundle, "", true);
  if (!head.failure.empty() || head.status != 200) {
    findings.Add(url,
                 head.failure.empty() ? "answered " + std::to_string(head.status) : head.failure);
    return;
  }
  if (head.length >= 0 && head.length != zipBytes) {
    findings.Add(url, "served with " + std::to_string(head.length) +
                          " bytes, but the fileInfo says " + std::to_string(zipBytes) +
                          ": every download fails its check");
  }
  const int64_t first = std::max<int64_t>(0, zipBytes - kTailBytes);
  const std::string range = std::to_string(first) + "-" + std::to_string(zipBytes - 1);
  const Answer tail = Fetch(url, request.caBundle, range);
  if (!tail.failure.empty()) {
    findings.Add(url, "a Range request failed: " + tail.failure);
  } else if (tail.status != 206) {
    findings.Add(url, "answers \"Range: bytes=" + range + "\" with " + std::to_string(tail.status) +
                          " and the whole package: players' updates fall back to full downloads, "
                          "and a broken download starts again from zero");
  } else if (tail.contentRange != "bytes " + range + "/" + std::to_string(zipBytes) ||
             static_cast<int64_t>(tail.body.size()) != zipBytes - first) {
    findings.Add(url, "answers \"Range: bytes=" + range +
                          "\" with \"Content-Range: " + tail.contentRange + "\" and " +
                          std::to_string(tail.body.size()) + " bytes: not the range asked for");
  }
}

}  // namespace

std::vector<std::string> CheckLiveServer(const LiveCheckRequest& request) {
  LiveFindings findings;
  const std::string configUrl = request.baseUrl + packageFolderName + "/config.json";
  const std::optional<std::string> configText =
      FetchSignedDocument(request, "config.json", true, findings);
  if (!configText) return findings.lines;
  const std::optional<JsonUtil::Document> config = Parsed(configUrl, *configText, findings);
  if (!config) return findings.lines;
  const JsonUtil::Value* last = JsonUtil::FindMember(*config, "lastVersion");
  if (last == nullptr || !last->IsString()) {
    findings.Add(configUrl, "\"lastVersion\" is missing or not a string");
    return findings.lines;
  }
  const std::string fileInfoName = "fileInfo_" + ReplaceAll(last->GetString(), ".", "_") + ".json";
  const std::string fileInfoUrl = request.baseUrl + packageFolderName + "/" + fileInfoName;
  const std::optional<std::string> fileInfoText =
      FetchSignedDocument(request, fileInfoName, false, findings);
  if (!fileInfoText) return findings.lines;
  const JsonUtil::Value* named = JsonUtil::FindMember(*config, "fileInfoSha256");
  if (request.key != nullptr && named != nullptr &&
      (!named->IsString() || named->GetString() != TextSha256(*fileInfoText))) {
    findings.Add(fileInfoUrl,
                 "not the document config.json names: launchers with the key refuse it");
  }
  const std::optional<JsonUtil::Document> fileInfo = Parsed(fileInfoUrl, *fileInfoText, findings);
  if (!fileInfo) return findings.lines;
  const JsonUtil::Value* zipName = JsonUtil::FindMember(*fileInfo, "zipName");
  const JsonUtil::Value* zipBytes = JsonUtil::FindMember(*fileInfo, "zipBytes");
  if (zipName == nullptr || !zipName->IsString() || zipBytes == nullptr || !zipBytes->IsInt64()) {
    findings.Add(fileInfoUrl, "\"zipName\" or \"zipBytes\" is missing");
    return findings.lines;
  }
  CheckPackage(request, zipName->GetString(), zipBytes->GetInt64(), findings);
  return findings.lines;
}
