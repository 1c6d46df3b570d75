#include "tests/support/wine_box_answerer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <sstream>

namespace testing_support {

namespace {

std::vector<std::string> SplitAnswers(const std::string& answers) {
  std::vector<std::string> list;
  std::stringstream in(answers);
  for (std::string answer; std::getline(in, answer, ',');) list.push_back(answer);
  return list;
}

}  // namespace

WineBoxAnswerer::WineBoxAnswerer(const WineSetup& wine, const std::string& workingDirectory,
                                 const std::string& answers, std::function<void()> giveUp)
    : answers_(SplitAnswers(answers)), giveUp_(std::move(giveUp)) {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  watcher_ = SpawnUnderWine(wine, wine.boxWatcher, {}, workingDirectory, {in[0], out[1], -1});
  ::close(in[0]);
  ::close(out[1]);
  toWatcher_ = in[1];
  fromWatcher_ = out[0];
  thread_ = std::thread([this] { Answer(); });
}

WineBoxAnswerer::~WineBoxAnswerer() { Stop(); }

void WineBoxAnswerer::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  if (thread_.joinable()) thread_.join();
  ::close(toWatcher_);  // the watcher ends at the end of its input
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (::waitpid(watcher_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(watcher_, SIGKILL);
      ::waitpid(watcher_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::close(fromWatcher_);
}

std::string WineBoxAnswerer::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void WineBoxAnswerer::Log(const std::string& line) {
  std::lock_guard lock(mutex_);
  lines_ += line + "\n";
}

bool WineBoxAnswerer::NextLine(std::string* line, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      *line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();  // a Windows text stream
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return false;
    }
    pollfd fd{fromWatcher_, POLLIN, 0};
    // Short polls: Stop() is noticed within a tenth of a second.
    if (::poll(&fd, 1, static_cast<int>(std::min<long>(left.count(), 100))) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(fromWatcher_, buffer, sizeof buffer);
    if (got <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

void WineBoxAnswerer::Answer() {
  size_t next = 0;
  std::string line;
  for (;;) {
    if (!NextLine(&line, 100)) {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      continue;
    }
    if (line.rfind("open ", 0) != 0) continue;
    // "open HWND caption=... text=... buttons=... focus=yes|no"
    const size_t handleEnd = line.find(' ', 5);
    const std::string handle = line.substr(5, handleEnd - 5);
    std::string description = line.substr(handleEnd + 1);
    const size_t focusAt = description.rfind(" focus=");
    const std::string focus = description.substr(focusAt + 1);
    description.erase(focusAt);
    const bool retryCancel = description.find(" buttons=retry,cancel") != std::string::npos;
    std::string answer = next < answers_.size() ? answers_[next++] : "";
    if (answer == "leave") {
      Log("[message box] " + description + " answer=none " + focus);
      continue;
    }
    if (retryCancel && answer != "retry") answer = "cancel";
    if (!retryCancel) answer = "ok";
    Log("[message box] " + description + " answer=" + answer + " " + focus);

    const std::string key = answer == "cancel" ? "Escape" : "Return";
    bool closed = false;
    for (int press = 0; press < 3 && !closed; ++press) {
      PressKey(key, std::chrono::seconds(5));
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (!closed && std::chrono::steady_clock::now() < end) {
        std::string reply;
        if (!NextLine(&reply, 100)) {
          std::lock_guard lock(mutex_);
          if (stopping_) return;
          continue;
        }
        if (reply == "closed " + handle) closed = true;
      }
    }
    if (!closed) {
      Log("[message box] the box did not take the key " + key + " (pressed 3 times): no focus?");
      giveUp_();
      return;
    }
  }
}

}  // namespace testing_support
