#pragma once
// Every waiting job runs on a detached thread of its own that owns its task record.

#include <functional>
#include <future>
#include <thread>
#include <type_traits>
#include <utility>

// Moves the task into a new detached thread that runs body(task), and returns only once the
// thread has taken the task over: the caller may destroy its arguments right after. Throws
// std::system_error when no thread can be started.
template <class Task, class Body>
void StartWorker(Task task, Body body) {
  std::promise<void> taken;
  std::future<void> takenFuture = taken.get_future();
  std::thread worker([&task, &taken, body = std::move(body)]() mutable {
    std::decay_t<Task> own = std::move(task);
    taken.set_value();
    body(own);
  });
  worker.detach();
  takenFuture.wait();
}

// Sleeps on a new detached thread, then runs the action once there.
void RunDelayed(int milliseconds, std::function<void()> action);
