#pragma once

#include <cstdint>
#include <string>

// "0k" below 1 KiB, whole KiB with "k" below 1 MiB, MiB with one decimal and "M" above.
std::string FormatSize(uint64_t bytes);
