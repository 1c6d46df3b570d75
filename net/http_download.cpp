#include <cstdio>
#include <optional>
#include <string>

#include "fs/stdio_file.h"
#include "net/curl_transfer.h"
#include "net/http_util.h"
#include "net/running_digests.h"
#include "platform/diagnostics.h"
#include "platform/disk.h"
#include "platform/file_seek.h"
#include "platform/files.h"

using namespace net_detail;

namespace {

// A reader following the file is told in steps of this much, each costing a flush.
constexpr uint64_t kTellPrefixEveryBytes = 1u << 20;

// The write function's target: the file, the digests of what is in it, and how much of it a
// reader following the file was told of.
struct FollowedFile {
  FileSink sink;
  RunningDigests digests;
  const DownloadTask& task;
  uint64_t told = 0;
  bool flushFailed = false;
};

// The reader opens the file on its own: the bytes must have left this stream's buffer. Written
// back as it grows, the package is not left for the install's final sync to write.
bool TellPrefix(FollowedFile& target) {
  if (!platform::StartWriteBack(target.sink.file)) {
    target.flushFailed = true;
    return false;
  }
  target.told = target.sink.length;
  target.task.prefixWritten(target.told);
  return true;
}

size_t WriteAndFollow(char* data, size_t size, size_t count, void* user) {
  auto& target = *static_cast<FollowedFile*>(user);
  const uint64_t before = target.sink.length;
  const size_t result = WriteToFile(data, size, count, &target.sink);
  target.digests.Add(data, static_cast<size_t>(target.sink.length - before));
  if (result != 0 && target.task.prefixWritten &&
      target.sink.length - target.told >= kTellPrefixEveryBytes && !TellPrefix(target)) {
    return 0;
  }
  return result;
}

// The kept bytes are read once to start the digests. Bytes past them would end up between the
// kept ones and the appended body, which the digests would not describe.
void HashKeptBytes(RunningDigests& digests, std::FILE* file, uint64_t kept) {
  digests.AddFromFile(file, kept);
  if (digests.Through() != kept || std::fgetc(file) != EOF) digests.Lose();
  platform::SeekFromStart(file, kept);  // a stream read from needs a seek before it writes
}

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
  FollowedFile target{FileSink{file.get(), offset, task.maxBytes}, RunningDigests(task.wantSha256),
                      task};
  if (task.resumeOffset != 0) HashKeptBytes(target.digests, file.get(), offset);
  SetPackageTransferOptions(curl, task.url);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteAndFollow);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
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
    target.sink.file = file.get();
    target.sink.length = 0;
    target.digests.Restart();
    // Nothing was told of the kept bytes: libcurl refuses the 200 before its body.
    target.told = 0;
    // The consumer adds the resume offset to every "trans". Reporting this transfer's own
    // counts would overstate what is on disk until the end; reporting them minus the offset
    // would run negative. So the bar holds still while the kept part is rewritten, and from
    // there on offset + first is exactly the file's length.
    progress.alreadyCounted = static_cast<double>(offset);
    curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
    status = PerformAndReadStatus(curl, code);
  }
  // Connection and file are let go before the outcome is told: its handler may wait in a box
  // or start the next transfer. The close writes what the stream still holds: a package that did
  // not reach the disk is no success.
  handle.reset();
  const bool received = code == CURLE_OK && (status == 200 || status == 206);
  const bool closed = CloseFile(file);
  if (received && !closed) code = CURLE_WRITE_ERROR;
  if (received && closed) {
    platform::Diagnostic("download succ from %s to %s", task.url.c_str(), task.localPath.c_str());
    if (task.prefixWritten) task.prefixWritten(target.sink.length);
    if (const std::optional<DownloadDigests> digests = target.digests.Finish();
        digests && task.digests) {
      task.digests(*digests);
    }
    Report(task, "succ", std::string(), 0, 0);
    return;
  }
  const std::string reason =
      target.sink.overLimit ? FormatMessage("package larger than its %llu bytes",
                                            static_cast<unsigned long long>(*task.maxBytes))
      : target.flushFailed || (received && !closed)
          ? "can not write local file " + task.localPath
          : std::string(curl_easy_strerror(code));
  const std::string message =
      FormatMessage("curl perform fail, curl_code %d (%s), ret_code %d", static_cast<int>(code),
                    reason.c_str(), static_cast<int>(status));
  platform::Diagnostic("%s", message.c_str());
  Report(task, "fail", message, static_cast<double>(code), static_cast<double>(status));
}
