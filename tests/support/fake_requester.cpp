#include "tests/support/fake_requester.h"

#include <chrono>
#include <thread>

namespace testing_support {

std::string WithoutQuery(const std::string& url) { return url.substr(0, url.find('?')); }

void FakeRequester::Serve(const std::string& urlWithoutQuery, FakeResponse response) {
  std::lock_guard lock(mutex_);
  responses_[urlWithoutQuery] = std::move(response);
}

void FakeRequester::SetFallback(FakeResponse response) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(response);
}

void FakeRequester::Start(RequestTask task) {
  FakeResponse response;
  {
    std::lock_guard lock(mutex_);
    requested_.push_back(task.url);
    const auto found = responses_.find(WithoutQuery(task.url));
    response = found == responses_.end() ? fallback_ : found->second;
    if (response.event == "hang") {
      hung_.push_back(std::move(task));
      return;
    }
  }
  std::thread([task = std::move(task), response] {
    if (response.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(response.delayMs));
    task.callback("trans", "", 1, 2);
    task.callback(response.event, response.body, 0, 0);
  }).detach();
}

std::vector<std::string> FakeRequester::Requested() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

size_t FakeRequester::CountRequested(const std::string& urlWithoutQuery) const {
  std::lock_guard lock(mutex_);
  size_t count = 0;
  for (const std::string& url : requested_) count += WithoutQuery(url) == urlWithoutQuery;
  return count;
}

void FakeRequester::ReleaseHung(const std::string& event, const std::string& body) {
  std::vector<RequestTask> hung;
  {
    std::lock_guard lock(mutex_);
    hung.swap(hung_);
  }
  for (RequestTask& task : hung) task.callback(event, body, 0, 0);
}

}  // namespace testing_support
