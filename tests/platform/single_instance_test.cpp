#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <chrono>
#include <future>
#include <thread>

#include "platform/single_instance.h"

using namespace std::chrono_literals;

namespace {

std::string UniqueName(const char* what) {
  return std::string("tidewake-test-") + what + "-" + std::to_string(::getpid());
}

}  // namespace

TEST(SingleInstance, SecondClaimWakesTheFirstAndIsRefused) {
  const std::string name = UniqueName("wake");
  std::promise<void> woken;
  auto wokenFuture = woken.get_future();
  std::atomic<int> wakes{0};
  ASSERT_TRUE(platform::ClaimSingleInstance(name, [&] {
    if (wakes++ == 0) woken.set_value();
  }));

  EXPECT_FALSE(platform::ClaimSingleInstance(name, [] { ADD_FAILURE() << "a later copy heard a wake"; }));
  ASSERT_EQ(wokenFuture.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(wakes.load(), 1);
}

TEST(SingleInstance, SimultaneousStartsLeaveExactlyOneFirstCopy) {
  const std::string name = UniqueName("race");
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 3; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      const bool first = platform::ClaimSingleInstance(name, [] {});
      const char verdict = first ? 'F' : 'S';
      (void)!::write(pipeFds[1], &verdict, 1);
      // The first copy keeps its claim long enough for the others to meet it.
      if (first) ::usleep(1500 * 1000);
      ::_exit(0);
    }
    children.push_back(child);
  }
  ::close(pipeFds[1]);
  std::string verdicts;
  char c;
  while (::read(pipeFds[0], &c, 1) == 1) verdicts += c;
  ::close(pipeFds[0]);
  for (pid_t child : children) ::waitpid(child, nullptr, 0);
  EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), 'F'), 1) << verdicts;
  EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), 'S'), 2) << verdicts;
}

TEST(SingleInstance, ClaimIsFreedWhenTheFirstCopyDies) {
  const std::string name = UniqueName("freed");
  const pid_t child = ::fork();
  if (child == 0) {
    platform::ClaimSingleInstance(name, [] {});
    ::pause();
    ::_exit(0);
  }
  std::this_thread::sleep_for(200ms);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(platform::ClaimSingleInstance(name, [] {}));
}
