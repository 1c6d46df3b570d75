#pragma once

#include <cstdint>

// Wall-clock milliseconds since 1970-01-01 00:00:00 UTC.
int64_t NowMs();
