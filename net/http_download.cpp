#include <cstdio>
#include <string>

#include "fs/stdio_file.h"
#include "net/curl_transfer.h"
#include "net/http_util.h"
#include "platform/diagnostics.h"
#include "platform/file_seek.h"
#include "platform/files.h"

using namespace net_detail;

namespace {


void Report(const DownloadTask& task, const std::string& event, const std::string& message,
            double first, double second) {
  task.callback(event, message, first, second);
}

long PerformAndReadStatus(CURL* curl, CURLcode& code) {
  code = curl_easy_perform(curl);
  long status = -1;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

}  // namespace

void HttpUtil::DownloadFile(const DownloadTask& task) {
  FilePtr file(platform::OpenFile(task.localPath, task.resumeOffset != 0 ? "ab+" : "wb"));
  if (file == nullptr) {
    Report(task, "fail", "can not open local file " + task.localPath, 0, 0);
    return;
  }
  uint64_t offset = task.resumeOffset;
  if (offset != 0 && !platform::SeekFromStart(file.get(), offset)) {
    platform::SeekFromStart(file.get(), 0);
    offset = 0;
  }

  CurlHandle handle(curl_easy_init());
  CURL* curl = handle.get();
  if (curl == nullptr) {
    Report(task, "fail", "can not init curl", 0, 0);
    return;
  }

  ProgressSink progress{&task.callback};
  FileSink sink{file.get(), offset, task.maxBytes};
  SetPackageTransferOptions(curl, task.url);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_PROGRESSFUNCTION, &ReportProgress);
  curl_easy_setopt(curl, CURLOPT_PROGRESSDATA, &progress);
  curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(offset));

  CURLcode code = CURLE_OK;
  long status = PerformAndReadStatus(curl, code);

  // A server that ignores the range answers 200 with the whole object, and libcurl refuses to
  // append that after the kept bytes. The kept bytes cannot be trusted to line up with a body
  // we cannot slice, so the package is fetched again from its first byte into an emptied file.
  if (offset != 0 && code == CURLE_RANGE_ERROR && status == 200) {
    // freopen closes the old stream whether or not it can open the new one.
    file.reset(std::freopen(task.localPath.c_str(), "wb", file.release()));
    if (file == nullptr) {
      Report(task, "fail", "can not open local file " + task.localPath, 0, 0);
      return;
    }
    sink.file = file.get();
    sink.length = 0;
    // The consumer adds the resume offset to every "trans". Reporting this transfer's own
    // counts would overstate what is on disk until the end; reporting them minus the offset
    // would run negative. So the bar holds still while the kept part is rewritten, and from
    // there on offset + first is exactly the file's length.
    progress.alreadyCounted = static_cast<double>(offset);
    curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
    status = PerformAndReadStatus(curl, code);
  }
  // Connection and file are let go before the outcome is told: its handler may wait in a box
  // or start the next transfer.
  handle.reset();
  file.reset();

  if (code == CURLE_OK && (status == 200 || status == 206)) {
    platform::Diagnostic("download succ from %s to %s", task.url.c_str(), task.localPath.c_str());
    Report(task, "succ", std::string(), 0, 0);
    return;
  }
  const std::string reason =
      sink.overLimit ? FormatMessage("package larger than its %llu bytes",
                                     static_cast<unsigned long long>(*task.maxBytes))
                     : std::string(curl_easy_strerror(code));
  const std::string message =
      FormatMessage("curl perform fail, curl_code %d (%s), ret_code %d", static_cast<int>(code),
                    reason.c_str(), static_cast<int>(status));
  platform::Diagnostic("%s", message.c_str());
  Report(task, "fail", message, static_cast<double>(code), static_cast<double>(status));
}
