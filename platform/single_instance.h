#pragma once

#include <functional>
#include <string>

namespace platform {

// Claims the single-instance name for this process. True for the first copy, which from then on
// hears onWake (on a thread of its own) whenever another copy starts. False for a later copy,
// which has already woken the first one when this returns.
bool ClaimSingleInstance(const std::string& name, std::function<void()> onWake);

}  // namespace platform
