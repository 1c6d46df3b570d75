#pragma once
// Every waiting job runs on a detached thread of its own that owns its task record.

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/detached_thread.h"

// Moves the task into a new detached thread that runs body(task). The thread owns the task from
// the moment this returns, so the caller may destroy its arguments right after; there is no
// hand-over wait (an untimed wait on MinGW's condition variables could hang for good). Throws
// std::system_error when no thread can be started. What body lets escape is logged and handed to
// onFailure(task, what), which ends the step the way that step fails.
template <class Task, class Body, class OnFailure = void (*)(std::decay_t<Task>&, const std::string&)>
void StartWorker(Task task, Body body,
                 OnFailure onFailure = [](std::decay_t<Task>&, const std::string&) {}) {
  struct Job final : platform::ThreadBody {
    Job(std::decay_t<Task>&& t, Body&& b, OnFailure&& f)
        : task(std::move(t)), body(std::move(b)), onFailure(std::move(f)) {}
    void Run() override { body(task); }
    void Failed(const std::string& what) override { onFailure(task, what); }
    std::decay_t<Task> task;
    Body body;
    OnFailure onFailure;
  };
  platform::StartDetachedThread(
      std::make_unique<Job>(std::move(task), std::move(body), std::move(onFailure)));
}

// Sleeps on a new detached thread, then runs the action once there; onFailure gets what the
// action let escape.
void RunDelayed(int milliseconds, std::function<void()> action,
                std::function<void(const std::string& what)> onFailure = {});
