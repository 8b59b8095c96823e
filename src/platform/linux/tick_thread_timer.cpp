#include "platform/linux/tick_thread_timer.h"

#include "platform/thread_priority.h"

#include <atomic>
#include <pthread.h>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>
#include <time.h>
#include <vector>

namespace {

constexpr long kNsPerSec = 1'000'000'000L;

void addNs(timespec& t, long long ns)
{
    const long long total = static_cast<long long>(t.tv_nsec) + ns;
    t.tv_sec += static_cast<time_t>(total / kNsPerSec);
    t.tv_nsec = static_cast<long>(total % kNsPerSec);
}

bool notBefore(const timespec& a, const timespec& b)
{
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

} // namespace

struct TickThreadTimer::Worker {
    std::function<void()> callback;
    long long periodNs = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;

    void run()
    {
        // Named, so that its share of a run's cost can be told from the window thread's.
        pthread_setname_np(pthread_self(), "rivect-tick");
        raiseThreadPriority(ThreadUrgency::RealTime);
        // Deadlines are absolute and advance by whole periods, so the schedule never drifts
        // and a late wake-up (a loaded machine, a slow callback) is made good by running the
        // callback once for every period that has passed, instead of losing those ticks.
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        addNs(next, periodNs);
        while (!stopping.load(std::memory_order_acquire)) {
            const int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            if (rc == EINTR)
                continue;
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            while (notBefore(now, next) && !stopping.load(std::memory_order_acquire)) {
                callback();
                addNs(next, periodNs);
            }
        }
    }
};

TickThreadTimer::~TickThreadTimer()
{
    std::map<int32_t, std::shared_ptr<Worker>> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (auto& [id, worker] : workers)
        stop(worker);
}

int32_t TickThreadTimer::timeSetEvent(int delayMs, std::function<void()> callback)
{
    if (delayMs < 1 || !callback)
        return 0;
    auto worker = std::make_shared<Worker>();
    worker->callback = std::move(callback);
    worker->periodNs = static_cast<long long>(delayMs) * 1'000'000LL;

    std::lock_guard lock(m_mutex);
    int32_t id = m_nextId;
    while (id <= 0 || m_workers.count(id))
        id = id <= 0 ? 1 : id + 1;
    m_nextId = id == INT32_MAX ? 1 : id + 1;
    try {
        // The thread holds its own reference, so a timer killed from inside its own callback
        // can let go of it while the thread finishes.
        worker->thread = std::thread([w = worker] { w->run(); });
    } catch (const std::system_error&) {
        return 0;
    }
    m_workers.emplace(id, std::move(worker));
    return id;
}

void TickThreadTimer::timeKillEvent(int32_t id)
{
    std::shared_ptr<Worker> worker;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_workers.find(id);
        if (it == m_workers.end())
            return;
        worker = std::move(it->second);
        m_workers.erase(it);
    }
    stop(worker);
}

void TickThreadTimer::stop(const std::shared_ptr<Worker>& worker)
{
    worker->stopping.store(true, std::memory_order_release);
    if (worker->thread.get_id() == std::this_thread::get_id())
        worker->thread.detach();  // killed from its own callback: it ends when that returns
    else if (worker->thread.joinable())
        worker->thread.join();
}
