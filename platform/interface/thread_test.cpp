#include "platform/interface/thread.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <chrono>

TEST(ThreadPriority, BandsOfTheScale) {
  const struct {
    int32 priority;
    QThread::Priority band;
  } cases[] = {
      {-5, QThread::IdlePriority},
      {B_IDLE_PRIORITY, QThread::IdlePriority},
      {B_LOWEST_ACTIVE_PRIORITY, QThread::LowestPriority},
      {B_LOW_PRIORITY - 1, QThread::LowestPriority},
      {B_LOW_PRIORITY, QThread::LowPriority},
      {B_NORMAL_PRIORITY - 1, QThread::LowPriority},
      {B_NORMAL_PRIORITY, QThread::NormalPriority},
      {B_DISPLAY_PRIORITY, QThread::HighPriority},
      {B_URGENT_DISPLAY_PRIORITY, QThread::HighestPriority},
      {B_REAL_TIME_DISPLAY_PRIORITY - 1, QThread::HighestPriority},
      {B_REAL_TIME_DISPLAY_PRIORITY, QThread::TimeCriticalPriority},
      {B_REAL_TIME_PRIORITY, QThread::TimeCriticalPriority},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qt_thread_priority(c.priority), c.band) << c.priority;
}

TEST(ThreadPriority, AppliesOnlyToRunningThreads) {
  EXPECT_EQ(set_thread_priority(nullptr, B_NORMAL_PRIORITY), B_BAD_VALUE);

  QThread worker;
  EXPECT_EQ(set_thread_priority(&worker, B_LOW_PRIORITY), B_NOT_ALLOWED);

  worker.start();
  EXPECT_EQ(set_thread_priority(&worker, B_LOW_PRIORITY), B_OK);
  EXPECT_EQ(worker.priority(), QThread::LowPriority);
  EXPECT_EQ(set_thread_priority(&worker, B_DISPLAY_PRIORITY), B_OK);
  EXPECT_EQ(worker.priority(), QThread::HighPriority);
  worker.quit();
  worker.wait();
}

namespace {
void ignore_alarm(int) {}
}  // namespace

TEST(Snooze, WaitsTheWholeTimeThroughSignals) {
  struct sigaction action = {};
  action.sa_handler = ignore_alarm;  // no SA_RESTART: every tick interrupts the sleep
  struct sigaction previous;
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  const itimerval ticks = {{0, 5000}, {0, 5000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &ticks, nullptr), 0);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(snooze(60000), B_OK);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  const itimerval off = {};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(elapsed, std::chrono::microseconds(60000));
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}
