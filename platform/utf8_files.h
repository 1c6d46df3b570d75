#pragma once
// Files named by UTF-8 paths: the names the publisher's documents and archives give (entry names,
// fileNameList), which may hold characters the system's ANSI code page lacks. On Windows these go
// to the wide ("W") calls, so the same package installs, is found and is deleted on every
// Windows, and a name that the code page does hold ends up as the same file the "A" calls would
// make; on Linux the narrow encoding is UTF-8 already and they are the calls of files.h.
// A narrow path (the command line, the working directory, built-in folder names) is turned into
// this form by FromNarrow before names are joined to it. The rules are those of files.h.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform::utf8 {

// A narrow path in this form: identity on Linux, ANSI code page to UTF-8 on Windows.
std::string FromNarrow(std::string_view narrow);

uint32_t FileAttributes(const std::string& path);
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);
uint64_t FileSize(const std::string& path);
// A file's size and last-write time as the file system keeps them, so a later look can tell
// whether anything wrote to it since (Linux st_mtim, Windows ftLastWriteTime in 100-ns steps).
struct FileStamp {
  uint64_t bytes = 0;
  int64_t mtimeNs = 0;  // nanoseconds since 1970-01-01 UTC
};
// Nothing when the path names no file (a folder, nothing, or no access).
std::optional<FileStamp> FileSizeAndTime(const std::string& path);
// Entry names in UTF-8.
std::vector<DirEntry> ListDirectory(const std::string& dir);
bool IsLink(const std::string& path);
MakeDirResult MakeDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
bool RemoveEmptyDirectory(const std::string& path);
void MarkExecutable(const std::string& path);
// Whether the file carries the executable bit MarkExecutable sets; nothing where files have no
// such bit (Windows) or the file cannot be looked at.
std::optional<bool> IsMarkedExecutable(const std::string& path);
// fopen(path, "wb"): a new or emptied file for binary writing; null when it cannot be opened.
std::FILE* OpenForWriting(const std::string& path);
// Renames a file over target on the same volume, replacing a file there. Unlike ReplaceByRename
// it does not wait for the disk: a caller moving many files syncs once after the last.
bool MoveReplacing(const std::string& source, const std::string& target);

}  // namespace platform::utf8
