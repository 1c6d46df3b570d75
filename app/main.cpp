#include <cstdio>

int main() {
  std::printf("tidewake\n");
  return 0;
}
