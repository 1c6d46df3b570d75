// Hashes one file with FileMd5 and prints the digest, the seconds taken and the peak RSS.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "install/file_digest.h"

namespace {

long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::freopen("/dev/null", "w", stdout);  // FileMd5 prints its digest; keep the report clean
  const std::string digest = FileMd5(argv[1]);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%s %.3f %ld\n", digest.c_str(), seconds, PeakRssKiB());
  return digest.empty() ? 1 : 0;
}
