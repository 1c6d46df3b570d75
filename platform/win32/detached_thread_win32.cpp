#include <windows.h>

#include <system_error>

#include "platform/detached_thread.h"
#include "platform/win32/unique_handle.h"

// Straight on CreateThread rather than std::thread: MinGW's std::thread goes through
// winpthreads, where a thread detached at once under load could fail to run its function at
// all (the caller's wait never ended, or a later test read a null pointer inside winpthreads).

namespace platform {

namespace {

DWORD WINAPI RunBody(void* parameter) {
  std::unique_ptr<ThreadBody> body(static_cast<ThreadBody*>(parameter));
  RunThreadBody(*body);
  return 0;
}

}  // namespace

void StartDetachedThread(std::unique_ptr<ThreadBody> body) {
  HANDLE thread = ::CreateThread(nullptr, 0, RunBody, body.get(), 0, nullptr);
  if (thread == nullptr) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateThread");
  }
  body.release();  // RunBody owns it now
  UniqueKernelHandle unneeded(thread);  // the thread runs on without its handle
}

}  // namespace platform
