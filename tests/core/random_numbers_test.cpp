#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "core/random_numbers.h"

TEST(RandomQueryNumber, FreshThreadsDrawingTogetherDoNotRepeatOneSequence) {
  // Workers make their requests on threads of their own, often several at once.
  std::vector<std::vector<unsigned>> draws(6);
  std::vector<std::thread> threads;
  for (auto& sequence : draws) {
    threads.emplace_back([&sequence] {
      for (int i = 0; i < 4; ++i) sequence.push_back(RandomQueryNumber());
    });
  }
  for (std::thread& thread : threads) thread.join();

  const std::set<std::vector<unsigned>> sequences(draws.begin(), draws.end());
  EXPECT_GT(sequences.size(), 1u);
  std::set<unsigned> firsts;
  for (const auto& sequence : draws) {
    firsts.insert(sequence.front());
    for (unsigned number : sequence) EXPECT_LE(number, 0x7FFFu);
  }
  // Six values out of 32768: more than half of them apart unless the threads share a seed.
  EXPECT_GT(firsts.size(), 3u);
}
