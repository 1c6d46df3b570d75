#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "core/random_numbers.h"

namespace {

// What each of several fresh threads draws first, as workers do for their requests.
std::vector<std::vector<unsigned>> DrawsOnFreshThreads(int threads, int perThread) {
  std::vector<std::vector<unsigned>> draws(static_cast<size_t>(threads));
  for (auto& sequence : draws) {
    std::thread([&sequence, perThread] {
      for (int i = 0; i < perThread; ++i) sequence.push_back(RandomQueryNumber());
    }).join();
  }
  return draws;
}

}  // namespace

TEST(RandomQueryNumber, FreshThreadsDoNotRepeatOneSequence) {
  const auto draws = DrawsOnFreshThreads(6, 4);
  const std::set<std::vector<unsigned>> sequences(draws.begin(), draws.end());
  EXPECT_GT(sequences.size(), 1u);
  std::set<unsigned> firsts;
  for (const auto& sequence : draws) firsts.insert(sequence.front());
  // Six values out of 32768: more than half of them apart unless the threads share a seed.
  EXPECT_GT(firsts.size(), 3u);
}

TEST(RandomQueryNumber, ThreadsDrawingAtOnceStayInRandsRange) {
  std::vector<std::thread> threads;
  std::vector<std::set<unsigned>> seen(4);
  for (auto& values : seen) {
    threads.emplace_back([&values] {
      for (int i = 0; i < 2000; ++i) values.insert(RandomQueryNumber());
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& values : seen) {
    EXPECT_LE(*values.rbegin(), 0x7FFFu);
    EXPECT_GT(values.size(), 1500u);  // 2000 draws from 32768 values repeat only a few
  }
}

TEST(RandomIndex, EveryIndexBelowTheCountComesUp) {
  std::set<size_t> seen;
  for (int i = 0; i < 200; ++i) seen.insert(RandomIndex(3));
  EXPECT_EQ(seen, (std::set<size_t>{0, 1, 2}));
}
