#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace {

constexpr int kRaisedNice = -10;
// The slice the window thread asks for. The fair scheduler lets a waking thread with a short
// slice cut in on a long-running one instead of waiting for its slice to end (kernels from
// 6.12; older ones ignore the request). The thread's work per timer is far below this.
constexpr unsigned long long kShortSliceNs = 500'000;

// The kernel's sched_attr, first version (48 bytes); the C library does not declare it, and
// the kernel's own header clashes with the C library's sched_param.
struct SchedAttr {
    uint32_t size;
    uint32_t sched_policy;
    uint64_t sched_flags;
    int32_t sched_nice;
    uint32_t sched_priority;
    uint64_t sched_runtime;
    uint64_t sched_deadline;
    uint64_t sched_period;
};
static_assert(sizeof(SchedAttr) == 48);

bool setFairAttributes(int nice, unsigned long long sliceNs)
{
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_nice = nice;
    attr.sched_runtime = sliceNs;
    return syscall(SYS_sched_setattr, 0, &attr, 0u) == 0;
}

} // namespace

bool raiseThreadPriority(ThreadUrgency urgency)
{
    if (urgency == ThreadUrgency::RealTime) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
            return true;
    }
    // The attributes belong to the thread: only the caller changes.
    if (setFairAttributes(kRaisedNice, kShortSliceNs))
        return true;
    // Without the right to raise the nice value, the short slice alone is still worth having.
    setFairAttributes(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), kShortSliceNs);
    return false;
}

void resetThreadPriority()
{
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    if (!setFairAttributes(0, 0))
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 0);
}
