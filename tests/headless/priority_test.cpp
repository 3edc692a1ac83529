// The Linux process priority: the idle class and back, on this test's own process.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <atomic>

#include "hosts/posix/processpriority.h"

TEST(PosixPriority, IdleMovesEveryThreadToTheIdleClassAndNormalBringsItBack) {
  // Leaving the idle class takes the right to raise a priority, which an
  // ordinary user does not have by default.
  if (geteuid() != 0) GTEST_SKIP() << "needs root to leave the idle class again";
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> otherPolicy{-1};
  std::atomic<bool> ask{false};
  std::thread other([&] {
    while (!stop) {
      if (ask.exchange(false)) otherPolicy = sched_getscheduler(0);
      std::this_thread::yield();
    }
  });
  PosixPriority priority;
  EXPECT_TRUE(priority.setPriority(ProcessPriority::Idle));
  EXPECT_EQ(sched_getscheduler(0), SCHED_IDLE);
  ask = true;
  while (otherPolicy.load() < 0) std::this_thread::yield();
  EXPECT_EQ(otherPolicy.load(), SCHED_IDLE);

  EXPECT_TRUE(priority.setPriority(ProcessPriority::Normal));
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), nice);

  // High is a lower nice value where allowed, and never a real-time class.
  const bool high = priority.setPriority(ProcessPriority::High);
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), high ? std::max(nice - 5, -20) : nice);

  EXPECT_TRUE(priority.setPriority(ProcessPriority::Normal));
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), nice);
  stop = true;
  other.join();
}
