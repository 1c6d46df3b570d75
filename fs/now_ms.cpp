#include "fs/now_ms.h"

#include "platform/clock.h"

int64_t NowMs() { return platform::UtcNowMs(); }
