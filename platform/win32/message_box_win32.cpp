// The system's own boxes: MessageBoxA with the caller's flags, no owner. The texts are GBK bytes,
// shown as such on a system whose ANSI code page is 936.

#include <windows.h>

#include "platform/message_box.h"

namespace platform {

int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace platform
