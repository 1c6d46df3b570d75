#include "platform/system_proxy.h"

namespace platform {

// Linux has no per-user proxy store of its own: the environment is where the proxy is set, and
// libcurl reads it.
ProxySettings UserProxySettings() { return {}; }

}  // namespace platform
