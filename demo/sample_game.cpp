// A stand-in for the game: records the arguments it was given and the directory it runs in, in
// "game_received.txt" in its working directory, then stays alive for a while if asked to, so the
// launcher's process walk can find it.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  char cwd[4096] = {};
  if (getcwd(cwd, sizeof cwd) == nullptr) return 1;
  FILE* out = std::fopen("game_received.txt", "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "cwd=%s\nargc=%d\n", cwd, argc - 1);
  for (int i = 1; i < argc; ++i) std::fprintf(out, "arg%d=%s\n", i, argv[i]);
  std::fclose(out);
  const char* linger = std::getenv("SAMPLE_GAME_LINGER_MS");
  if (linger != nullptr) usleep(static_cast<useconds_t>(std::atoi(linger)) * 1000);
  return 0;
}
