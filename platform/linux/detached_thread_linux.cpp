#include <thread>

#include "platform/detached_thread.h"

namespace platform {

void StartDetachedThread(std::unique_ptr<ThreadBody> body) {
  std::thread([own = std::move(body)] { RunThreadBody(*own); }).detach();
}

}  // namespace platform
