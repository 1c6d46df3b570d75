#include "net/worker.h"
#include "platform/clock.h"

namespace {

struct DelayedTask {
  int milliseconds = 0;
  std::function<void()> action;
  std::function<void(const std::string&)> onFailure;
};

}  // namespace

void RunDelayed(int milliseconds, std::function<void()> action,
                std::function<void(const std::string& what)> onFailure) {
  StartWorker(
      DelayedTask{milliseconds, std::move(action), std::move(onFailure)},
      [](DelayedTask& task) {
        if (task.milliseconds > 0) platform::SleepMs(static_cast<uint32_t>(task.milliseconds));
        if (task.action) task.action();
      },
      [](DelayedTask& task, const std::string& what) {
        if (task.onFailure) task.onFailure(what);
      });
}
