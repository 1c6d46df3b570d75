#pragma once
// Every waiting job runs on a detached thread of its own that owns its task record.

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "platform/detached_thread.h"

// Moves the task into a new detached thread that runs body(task). The thread owns the task from
// the moment this returns, so the caller may destroy its arguments right after; there is no
// hand-over wait (an untimed wait on MinGW's condition variables could hang for good). Throws
// std::system_error when no thread can be started.
template <class Task, class Body>
void StartWorker(Task task, Body body) {
  struct Job final : platform::ThreadBody {
    Job(std::decay_t<Task>&& t, Body&& b) : task(std::move(t)), body(std::move(b)) {}
    void Run() override { body(task); }
    std::decay_t<Task> task;
    Body body;
  };
  platform::StartDetachedThread(std::make_unique<Job>(std::move(task), std::move(body)));
}

// Sleeps on a new detached thread, then runs the action once there.
void RunDelayed(int milliseconds, std::function<void()> action);
