#include <utility>

#include "net/http_util.h"
#include "net/worker.h"

namespace {

// A transfer that ended by an exception failed like one that ended by a transfer error.
template <class Task>
void ReportFailure(Task& task, const std::string& what) {
  if (task.callback) task.callback("fail", what, 0, 0);
}

}  // namespace

void HttpUtil::StartDownload(DownloadTask task) {
  StartWorker(std::move(task), [](DownloadTask& own) { DownloadPackage(own); },
              ReportFailure<DownloadTask>);
}

void HttpUtil::StartRequest(RequestTask task) {
  StartWorker(std::move(task), [](RequestTask& own) {
    Request(own.url, own.body, own.callback, "GET", own.connectTimeout, own.timeoutMs);
  }, ReportFailure<RequestTask>);
}
