#pragma once
// Threads that nobody joins: each owns what it runs and ends on its own.

#include <memory>
#include <string>

namespace platform {

class ThreadBody {
 public:
  virtual ~ThreadBody() = default;
  virtual void Run() = 0;
  // What Run let escape (a failed allocation, a thread that could not start), after it was
  // logged: the body's chance to end its step the way the step fails. Nothing by default.
  virtual void Failed(const std::string& what) { (void)what; }
};

// Runs body->Run() on a new thread and destroys the body there. Once this returns, the new
// thread owns the body. Throws std::system_error when no thread can be started (the body is then
// destroyed on the caller's thread).
void StartDetachedThread(std::unique_ptr<ThreadBody> body);

// What every backend's thread runs: Run, and Failed with what escaped it. Nothing leaves it: an
// exception at the top of a thread would end the whole process.
void RunThreadBody(ThreadBody& body) noexcept;

}  // namespace platform
