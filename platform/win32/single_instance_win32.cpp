// One running copy per session: the named mutex. A later copy wakes the first by broadcasting the
// registered message name + "__EH" to every top-level window; the first copy's window procedure
// turns that message into WindowMessage::Wake, so onWake is not needed here.

#include <windows.h>

#include "platform/single_instance.h"
#include "platform/win32/unique_handle.h"

namespace platform {

bool ClaimSingleInstance(const std::string& name, std::function<void()>) {
  constexpr DWORD kAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS
  const UniqueKernelHandle existing(::OpenMutexA(kAllAccess, FALSE, name.c_str()));
  if (existing) {
    const UINT wake = ::RegisterWindowMessageA((name + "__EH").c_str());
    // SendMessageA to HWND_BROADCAST blocks on a hung window; the time-out variant still delivers
    // to every responsive one, the running copy included.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(HWND_BROADCAST, wake, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000,
                          &ignored);
    return false;
  }
  UniqueKernelHandle mutex(::CreateMutexA(nullptr, TRUE, name.c_str()));
  // Held, never closed, until the process ends: the name lives as long as this copy.
  mutex.release();
  return true;
}

}  // namespace platform
