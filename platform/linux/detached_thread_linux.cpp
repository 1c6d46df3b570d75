#include <thread>

#include "platform/detached_thread.h"

namespace platform {

void StartDetachedThread(std::unique_ptr<ThreadBody> body) {
  std::thread([own = std::move(body)] { own->Run(); }).detach();
}

}  // namespace platform
