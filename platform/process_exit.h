#pragma once

namespace platform {

// Ends the process at once with the code: no destructors, no clean-up (quick_exit).
[[noreturn]] void QuickExit(int code);

}  // namespace platform
