#include "platform/interface/thread.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <chrono>

TEST(Snooze, WaitsTheWholeTimeThroughSignals) {
  struct sigaction action = {};
  action.sa_handler = [](int) {};  // no SA_RESTART: every tick interrupts the sleep
  struct sigaction previous;
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  const itimerval ticks = {{0, 5000}, {0, 5000}}, off = {};
  ASSERT_EQ(setitimer(ITIMER_REAL, &ticks, nullptr), 0);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(snooze(60000), B_OK);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(elapsed, std::chrono::microseconds(60000));
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}
