#include <utility>

#include "net/http_util.h"
#include "net/worker.h"

void HttpUtil::StartDownload(DownloadTask task) {
  StartWorker(std::move(task), [](DownloadTask& own) { DownloadPackage(own); });
}

void HttpUtil::StartRequest(RequestTask task) {
  StartWorker(std::move(task), [](RequestTask& own) {
    Request(own.url, own.body, own.callback, "GET", own.connectTimeout, own.timeoutMs);
  });
}
