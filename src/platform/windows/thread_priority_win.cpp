#include "platform/thread_priority.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

bool raiseThreadPriority(ThreadUrgency urgency)
{
    // Within the normal priority class neither level needs a right. Time-critical is the top
    // of that class, the level Windows gives its own multimedia timer thread; the window
    // thread, which also paints, goes two levels above normal.
    const int priority = urgency == ThreadUrgency::RealTime ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_HIGHEST;
    return SetThreadPriority(GetCurrentThread(), priority) != 0;
}

void resetThreadPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}
