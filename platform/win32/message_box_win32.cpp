// The system's own boxes: MessageBoxW with the caller's flags, no owner.
// The texts are built-in GBK texts, decoded as GBK whatever the system's ANSI code page, so a
// Western, Big5 or UTF-8 Windows shows the intended characters rather than mojibake. Some texts
// carry a path beside the built-in words: the launcher's own folder names (ASCII, the same in
// every code page) or names from the publisher's documents (UTF-8 bytes, which no ANSI decoding
// shows right either). Only a non-ASCII path of the player's own, on a system whose code page is
// not 936, would read wrong this way; decoding as the ANSI code page instead would garble every
// built-in word on such a system. On a code page 936 system the box shows what MessageBoxA did.

#include <windows.h>

#include "platform/message_box.h"
#include "platform/win32/wide_text.h"

namespace platform {

int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  // Like the narrow call, the texts end at their first zero byte.
  return ::MessageBoxW(nullptr, GbkToWide(text.c_str()).c_str(), GbkToWide(caption.c_str()).c_str(),
                       flags);
}

}  // namespace platform
