// Thread timing and priority for the windowed tools: snooze, and thread priorities on the
// family's scale applied to Qt threads.
#pragma once

#include <QThread>

#include "platform/support/support_defs.h"

typedef int64 bigtime_t;  // microseconds

// The family's priority scale.
constexpr int32 B_IDLE_PRIORITY = 0;
constexpr int32 B_LOWEST_ACTIVE_PRIORITY = 1;
constexpr int32 B_LOW_PRIORITY = 5;
constexpr int32 B_NORMAL_PRIORITY = 10;
constexpr int32 B_DISPLAY_PRIORITY = 15;
constexpr int32 B_URGENT_DISPLAY_PRIORITY = 20;
constexpr int32 B_REAL_TIME_DISPLAY_PRIORITY = 100;
constexpr int32 B_URGENT_PRIORITY = 110;
constexpr int32 B_REAL_TIME_PRIORITY = 120;

// Blocks the calling thread for at least `microseconds` (not at all for zero or less), even
// when signals interrupt the wait. Returns B_OK.
status_t snooze(bigtime_t microseconds);

// The Linux scheduling policy that stands for `priority` on the family's scale: SCHED_BATCH up
// to B_IDLE_PRIORITY, SCHED_OTHER above it. A normal Linux thread has a single level, and the
// lower ones are one-way for an unprivileged thread: leaving SCHED_IDLE, or taking back a
// raised nice value, needs CAP_SYS_NICE or an RLIMIT_NICE the default of 0 does not give.
// SCHED_BATCH (no preference on wake-up, for background work) is the lowest scheduling that a
// later call can always undo.
int thread_policy_for_priority(int32 priority);

// Gives `thread` the policy of `priority` (thread_policy_for_priority), reversibly: any later
// call can raise or lower it again. The calling thread changes at once; another thread when
// its event loop next runs. Returns B_BAD_VALUE for a null thread, B_NOT_ALLOWED for one that
// is not running or has no event loop to take the change, B_ERROR when the system refuses the
// calling thread's change, and B_OK otherwise.
status_t set_thread_priority(QThread* thread, int32 priority);
