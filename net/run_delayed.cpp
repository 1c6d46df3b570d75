#include "net/worker.h"
#include "platform/clock.h"

namespace {

struct DelayedTask {
  int milliseconds = 0;
  std::function<void()> action;
};

}  // namespace

void RunDelayed(int milliseconds, std::function<void()> action) {
  StartWorker(DelayedTask{milliseconds, std::move(action)}, [](DelayedTask& task) {
    if (task.milliseconds > 0) platform::SleepMs(static_cast<uint32_t>(task.milliseconds));
    if (task.action) task.action();
  });
}
