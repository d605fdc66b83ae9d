#include "platform/interface/thread.h"

#include <cerrno>
#include <ctime>

status_t snooze(bigtime_t microseconds) {
  if (microseconds <= 0)
    return B_OK;
  // An absolute deadline, so that a wait resumed after a signal does not start over.
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(microseconds / 1000000);
  deadline.tv_nsec += static_cast<long>(microseconds % 1000000) * 1000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
  return B_OK;
}

QThread::Priority qt_thread_priority(int32 priority) {
  if (priority <= B_IDLE_PRIORITY)
    return QThread::IdlePriority;
  if (priority < B_LOW_PRIORITY)
    return QThread::LowestPriority;
  if (priority < B_NORMAL_PRIORITY)
    return QThread::LowPriority;
  if (priority < B_DISPLAY_PRIORITY)
    return QThread::NormalPriority;
  if (priority < B_URGENT_DISPLAY_PRIORITY)
    return QThread::HighPriority;
  if (priority < B_REAL_TIME_DISPLAY_PRIORITY)
    return QThread::HighestPriority;
  return QThread::TimeCriticalPriority;
}

status_t set_thread_priority(QThread* thread, int32 priority) {
  if (thread == nullptr)
    return B_BAD_VALUE;
  if (!thread->isRunning())
    return B_NOT_ALLOWED;
  thread->setPriority(qt_thread_priority(priority));
  return B_OK;
}
