#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr int kRaisedNice = -10;
} // namespace

bool raiseThreadPriority(ThreadUrgency urgency)
{
    if (urgency == ThreadUrgency::RealTime) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
            return true;
    }
    // On Linux the nice value belongs to the thread: only the caller changes.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kRaisedNice) == 0;
}
