// One running copy per session: the named mutex. A later copy wakes the first by broadcasting the
// registered message name + "__EH" to every top-level window; the first copy's window procedure
// turns that message into WindowMessage::Wake, so onWake is not needed here.

#include <windows.h>

#include "platform/single_instance.h"
#include "platform/win32/unique_handle.h"

namespace platform {

bool ClaimSingleInstance(const std::string& name, std::function<void()>) {
  // One call both makes the name and tells whether it was there: asking first and creating
  // after would let two copies started together both find no mutex and both go on.
  UniqueKernelHandle mutex(::CreateMutexA(nullptr, TRUE, name.c_str()));
  const DWORD error = ::GetLastError();
  if (mutex && error != ERROR_ALREADY_EXISTS) {
    // Held, never closed, until the process ends: the name lives as long as this copy.
    mutex.release();
    return true;
  }
  // A mutex of this name that we may not open (made by the copy of another account in this
  // session) is a running copy as well; any other failure leaves us without the guard, and a
  // launcher that cannot tell still starts.
  if (!mutex && error != ERROR_ACCESS_DENIED) return true;
  const UINT wake = ::RegisterWindowMessageA((name + "__EH").c_str());
  // SendMessageA to HWND_BROADCAST blocks on a hung window; the time-out variant still delivers
  // to every responsive one, the running copy included.
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(HWND_BROADCAST, wake, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000,
                        &ignored);
  return false;
}

}  // namespace platform
