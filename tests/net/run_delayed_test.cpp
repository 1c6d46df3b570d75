#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "net/worker.h"

// Each promise is shared with the thread that sets it: a test that ends as soon as its future is
// ready must not free the state that set_value is still unlocking.

TEST(RunDelayed, ZeroDelayRunsOnAnotherThreadNeverInsideTheCaller) {
  auto ran = std::make_shared<std::promise<std::thread::id>>();
  auto ranOn = ran->get_future();
  RunDelayed(0, [ran] { ran->set_value(std::this_thread::get_id()); });
  ASSERT_EQ(ranOn.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_NE(ranOn.get(), std::this_thread::get_id());
}

TEST(RunDelayed, WaitsAtLeastTheDelay) {
  const auto start = std::chrono::steady_clock::now();
  auto ran = std::make_shared<std::promise<std::chrono::steady_clock::time_point>>();
  auto ranAt = ran->get_future();
  RunDelayed(60, [ran] { ran->set_value(std::chrono::steady_clock::now()); });
  ASSERT_EQ(ranAt.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_GE(ranAt.get() - start, std::chrono::milliseconds(60));
}

TEST(StartWorker, CallerMayDestroyItsArgumentsAsSoonAsItReturns) {
  auto seen = std::make_shared<std::promise<std::string>>();
  auto seenValue = seen->get_future();
  auto release = std::make_shared<std::atomic<bool>>(false);
  {
    auto payload = std::make_unique<std::string>(1000, 'p');
    StartWorker(std::move(payload), [seen, release](std::unique_ptr<std::string>& own) {
      while (!release->load()) std::this_thread::yield();
      seen->set_value(*own);
    });
    std::string scribble(1000, 'x');  // reuse the stack the task came from
    (void)scribble;
  }
  *release = true;
  ASSERT_EQ(seenValue.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(seenValue.get(), std::string(1000, 'p'));
}

TEST(StartWorker, WhatABodyLetsEscapeEndsInItsFailurePathNotInTheProcess) {
  // Without a failure path of its own the escape is only logged.
  StartWorker(0, [](int&) { throw std::bad_alloc(); });
  auto failed = std::make_shared<std::promise<std::string>>();
  auto what = failed->get_future();
  RunDelayed(0, [] { throw std::runtime_error("no room"); },
             [failed](const std::string& text) { failed->set_value(text); });
  ASSERT_EQ(what.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(what.get(), "no room");
}
