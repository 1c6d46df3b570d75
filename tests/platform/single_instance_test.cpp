#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "platform/single_instance.h"
#include "tests/support/temp_dir.h"

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

namespace {

// Sets or clears XDG_RUNTIME_DIR for one test and puts the old value back.
class RuntimeDir {
 public:
  explicit RuntimeDir(const std::optional<std::string>& value) {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    if (value) {
      ::setenv("XDG_RUNTIME_DIR", value->c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
  }
  ~RuntimeDir() {
    if (saved_) {
      ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
  }

 private:
  std::optional<std::string> saved_;
};

std::string LockFileIn(const std::string& folder, const std::string& name) {
  return folder + "/" + name + "." + std::to_string(::getuid()) + ".lock";
}

}  // namespace

TEST(SingleInstance, LockLivesInTheUsersRuntimeFolder) {
  testing_support::TempDir runtime;
  const RuntimeDir use(runtime.path());
  const std::string name = UniqueName("runtime");
  ASSERT_TRUE(platform::ClaimSingleInstance(name, [] {}));
  struct stat st {};
  ASSERT_EQ(::lstat(LockFileIn(runtime.path(), name).c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_uid, ::getuid());
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists("/tmp/" + name + "." + std::to_string(::getuid()) + ".lock"));
}

TEST(SingleInstance, WhatAnotherUserPutsUnderTheLockNameCannotKeepUsFromStarting) {
  // Each setup places something under the lock's name and holds a lock on whatever it leads to.
  struct Case {
    const char* what;
    std::function<bool(const std::string& path, const std::string& scratch)> place;
  };
  const std::vector<Case> cases = {
      {"a file of another user's",
       [](const std::string& path, const std::string&) {
         const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
         const bool ok = fd >= 0 && ::fchown(fd, 65534, 65534) == 0;
         if (fd >= 0) ::close(fd);
         return ok;
       }},
      {"a link to a file of ours",
       [](const std::string& path, const std::string& scratch) {
         const std::string target = scratch + "/ours.lock";
         const int fd = ::open(target.c_str(), O_RDWR | O_CREAT, 0600);
         if (fd >= 0) ::close(fd);
         return fd >= 0 && ::symlink(target.c_str(), path.c_str()) == 0;
       }},
      {"a folder", [](const std::string& path, const std::string&) { return ::mkdir(path.c_str(), 0777) == 0; }},
  };
  testing_support::TempDir scratch;
  testing_support::TempDir runtime;
  for (const std::optional<std::string>& folder : {std::optional<std::string>(runtime.path()),
                                                   std::optional<std::string>()}) {
    const RuntimeDir use(folder);
    for (const Case& c : cases) {
      const std::string name = UniqueName("foreign") + "-" + std::to_string(&c - cases.data()) +
                               (folder ? "-runtime" : "-tmp");
      const std::string path = LockFileIn(folder ? *folder : "/tmp", name);
      if (!c.place(path, scratch.path())) {
        std::filesystem::remove(path);
        GTEST_SKIP() << "cannot place " << c.what << " (needs root to give a file away)";
      }
      // The other user holds the lock of what they placed, as a running copy would.
      const int held = ::open(path.c_str(), O_RDONLY);
      if (held >= 0) {
        ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
      }

      EXPECT_TRUE(platform::ClaimSingleInstance(name, [] {})) << c.what << " in " << (folder ? *folder : "/tmp");

      if (held >= 0) ::close(held);
      std::filesystem::remove(path);
    }
  }
}
