#pragma once
// 64-bit positioning of C streams: fseek takes a long, which is 32 bits on Windows.

#include <cstdint>
#include <cstdio>

namespace platform {

// Moves the stream to the byte offset from the start of the file; false when it cannot.
bool SeekFromStart(std::FILE* file, uint64_t offset);

}  // namespace platform
