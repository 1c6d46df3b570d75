#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/ui_queue.h"

TEST(UiQueue, RunsPostsInOrderOnTheDrainingThreadOnly) {
  UiQueue queue;
  std::vector<int> ran;
  queue.Post([&] { ran.push_back(1); });
  queue.Post([&] { ran.push_back(2); });
  EXPECT_TRUE(ran.empty());
  EXPECT_TRUE(queue.Drain());
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_FALSE(queue.Drain());
}

TEST(UiQueue, LatestPostOfASlotReplacesTheUnrunOneAndKeepsPostingOrder) {
  UiQueue queue;
  std::vector<int> ran;
  for (int i = 0; i < 10000; ++i) queue.PostLatest("progress", [&ran, i] { ran.push_back(i); });
  queue.Post([&] { ran.push_back(-1); });
  queue.PostLatest("progress", [&ran] { ran.push_back(10000); });
  queue.Drain();
  EXPECT_EQ(ran, (std::vector<int>{-1, 10000}));
}

TEST(UiQueue, WorkersPostWhileTheUiThreadDrains) {
  UiQueue queue;
  int total = 0;  // touched only by the draining thread
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&queue, &total] {
      for (int i = 0; i < 1000; ++i) queue.Post([&total] { ++total; });
    });
  }
  for (int spins = 0; spins < 100000 && total < 4000; ++spins) queue.Drain();
  for (auto& worker : workers) worker.join();
  queue.Drain();
  EXPECT_EQ(total, 4000);
}
