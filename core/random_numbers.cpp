#include "core/random_numbers.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>

namespace {

struct SharedGenerator {
  std::mutex mutex;
  std::mt19937 engine;
};

// The random device may be missing or weak on some runtimes; the clock and an address of this
// run still make two launchers started together draw different numbers.
std::mt19937 SeededEngine() {
  uint32_t device = 0;
  try {
    std::random_device random;
    device = random();
  } catch (...) {
  }
  const auto ticks = static_cast<uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  const auto place = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&device));
  std::seed_seq seed{device, static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32),
                     static_cast<uint32_t>(place), static_cast<uint32_t>(place >> 32)};
  return std::mt19937(seed);
}

SharedGenerator& Generator() {
  static SharedGenerator generator{{}, SeededEngine()};
  return generator;
}

}  // namespace

unsigned RandomQueryNumber() {
  SharedGenerator& shared = Generator();
  std::lock_guard lock(shared.mutex);
  return std::uniform_int_distribution<unsigned>(0, 0x7FFF)(shared.engine);
}

size_t RandomIndex(size_t count) {
  SharedGenerator& shared = Generator();
  std::lock_guard lock(shared.mutex);
  return std::uniform_int_distribution<size_t>(0, count - 1)(shared.engine);
}
