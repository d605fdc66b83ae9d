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

// The Qt priority band for a priority on the family's scale: up to B_IDLE_PRIORITY idle,
// below B_LOW_PRIORITY lowest, below B_NORMAL_PRIORITY low, below B_DISPLAY_PRIORITY normal,
// below B_URGENT_DISPLAY_PRIORITY high, below B_REAL_TIME_DISPLAY_PRIORITY highest, from
// there on time-critical.
QThread::Priority qt_thread_priority(int32 priority);

// Gives `thread` the Qt band of `priority`. Returns B_BAD_VALUE for a null thread and
// B_NOT_ALLOWED for one that is not running (Qt sets priorities of running threads only);
// otherwise B_OK, although the system may keep its own priority (Linux threads under the
// normal policy have a single level, and Qt changes them only for the idle band).
status_t set_thread_priority(QThread* thread, int32 priority);
