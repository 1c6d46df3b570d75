// One running copy per session: the named mutex. A later copy wakes the first by broadcasting the
// registered message name + "__EH" to every top-level window; the first copy's window procedure
// turns that message into WindowMessage::Wake, so onWake is not needed here.

#include <windows.h>

#include "platform/single_instance.h"

namespace platform {

bool ClaimSingleInstance(const std::string& name, std::function<void()>) {
  constexpr DWORD kAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS
  const HANDLE existing = ::OpenMutexA(kAllAccess, FALSE, name.c_str());
  if (existing != nullptr) {
    const UINT wake = ::RegisterWindowMessageA((name + "__EH").c_str());
    // SendMessageA to HWND_BROADCAST blocks on a hung window; the time-out variant still delivers
    // to every responsive one, the running copy included.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(HWND_BROADCAST, wake, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000,
                          &ignored);
    ::CloseHandle(existing);
    return false;
  }
  // Kept open until the process ends: the name lives as long as this copy.
  ::CreateMutexA(nullptr, TRUE, name.c_str());
  return true;
}

}  // namespace platform
