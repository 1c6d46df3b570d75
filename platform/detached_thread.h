#pragma once
// Threads that nobody joins: each owns what it runs and ends on its own.

#include <memory>

namespace platform {

class ThreadBody {
 public:
  virtual ~ThreadBody() = default;
  virtual void Run() = 0;
};

// Runs body->Run() on a new thread and destroys the body there. Once this returns, the new
// thread owns the body. Throws std::system_error when no thread can be started (the body is then
// destroyed on the caller's thread).
void StartDetachedThread(std::unique_ptr<ThreadBody> body);

}  // namespace platform
