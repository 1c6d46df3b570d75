#pragma once
// C streams that close themselves on every way out. Where the close's result matters (it writes
// the last buffered bytes), CloseFile closes early and reports it.

#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Closes the stream now; false when the close failed. The pointer is empty afterwards.
inline bool CloseFile(FilePtr& file) { return file != nullptr && std::fclose(file.release()) == 0; }
