#include "platform/interface/thread.h"

#include <pthread.h>
#include <sched.h>

#include <QAbstractEventDispatcher>
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

int thread_policy_for_priority(int32 priority) {
  return priority <= B_IDLE_PRIORITY ? SCHED_BATCH : SCHED_OTHER;
}

namespace {

// Qt's own QThread::setPriority is not used: its idle band is SCHED_IDLE, and once there it
// keeps the policy for every later band, so the thread could never come back.
status_t set_own_policy(int policy) {
  const sched_param parameters{};  // both policies take priority 0
  return pthread_setschedparam(pthread_self(), policy, &parameters) == 0 ? B_OK : B_ERROR;
}

}  // namespace

status_t set_thread_priority(QThread* thread, int32 priority) {
  if (thread == nullptr)
    return B_BAD_VALUE;
  if (!thread->isRunning())
    return B_NOT_ALLOWED;
  const int policy = thread_policy_for_priority(priority);
  if (thread == QThread::currentThread())
    return set_own_policy(policy);
  // A thread's scheduling can only be set through its own handle, which Qt keeps to itself:
  // the thread applies the change when its event loop runs.
  QAbstractEventDispatcher* const dispatcher = thread->eventDispatcher();
  if (dispatcher == nullptr)
    return B_NOT_ALLOWED;
  QMetaObject::invokeMethod(
      dispatcher, [policy] { set_own_policy(policy); }, Qt::QueuedConnection);
  return B_OK;
}
