// Holds one file the way a virus scanner or a game that is still ending does, for the road suite
// under Wine: open with no sharing at all, so every other open, delete or rename of it fails with
// a sharing violation.
//   tidewake_file_holder PATH MILLISECONDS   lets go that long after a line on standard input
//   tidewake_file_holder PATH never          holds until it is killed
// It prints "holding" once it has the file and "let go" once it has closed it.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tidewake_file_holder PATH MILLISECONDS|never\n");
    return 2;
  }
  const HANDLE file = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("cannot hold %s: error %lu\n", argv[1], ::GetLastError());
    return 1;
  }
  std::printf("holding\n");
  std::fflush(stdout);
  if (std::strcmp(argv[2], "never") == 0) {
    ::Sleep(INFINITE);
  }
  // The suite says when the hold starts to count: once the launcher has met the file.
  char line[64];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return 1;
  ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  ::CloseHandle(file);
  std::printf("let go\n");
  std::fflush(stdout);
  return 0;
}
