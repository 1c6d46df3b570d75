#pragma once
// 64-bit positioning of C streams: fseek takes a long, which is 32 bits on Windows.

#include <cstdint>
#include <cstdio>

namespace platform {

// Moves the stream to the byte offset from the start of the file; false when it cannot.
bool SeekFromStart(std::FILE* file, uint64_t offset);

// Writes the bytes at the offset, wherever the stream stands; false when not all of them could be
// written. The stream's buffer is flushed first, and its position afterwards is unspecified.
bool WriteAt(std::FILE* file, uint64_t offset, const char* data, size_t size);

}  // namespace platform
