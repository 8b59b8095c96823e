#include "platform/windows/multimedia_tick_timer.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include <atomic>

struct MultimediaTickTimer::Timer {
    std::function<void()> callback;
    LONGLONG periodCounts = 0;  ///< one period in performance-counter counts
    LONGLONG start = 0;
    LONGLONG delivered = 0;     ///< periods the callback has run for; the service thread's alone
    std::atomic<bool> stopping{false};
    std::atomic<DWORD> runningOn{0};  ///< the thread inside the callback, 0 when none
    UINT id = 0;
    bool killedInside = false;  ///< stopped from its own callback: the callback frees it

    // Tick_Proc of the multimedia timer: the service calls it on its thread about once a
    // period. It runs the callback for every period that has elapsed and not yet been counted.
    static void CALLBACK Tick_Proc(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
    {
        auto* timer = reinterpret_cast<Timer*>(user);
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        const LONGLONG due = (now.QuadPart - timer->start) / timer->periodCounts;
        timer->runningOn.store(GetCurrentThreadId(), std::memory_order_release);
        while (timer->delivered < due && !timer->stopping.load(std::memory_order_acquire)) {
            ++timer->delivered;
            timer->callback();
        }
        timer->runningOn.store(0, std::memory_order_release);
        if (timer->killedInside)
            delete timer;
    }
};

MultimediaTickTimer::MultimediaTickTimer() = default;

MultimediaTickTimer::~MultimediaTickTimer()
{
    std::map<int32_t, std::unique_ptr<Timer>> timers;
    {
        std::lock_guard lock(m_mutex);
        timers.swap(m_timers);
    }
    for (auto& [id, timer] : timers)
        stop(std::move(timer));
}

int32_t MultimediaTickTimer::timeSetEvent(int delayMs, std::function<void()> callback)
{
    if (delayMs < 1 || !callback)
        return 0;
    auto timer = std::make_unique<Timer>();
    timer->callback = std::move(callback);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    timer->periodCounts = frequency.QuadPart * delayMs / 1000;
    if (timer->periodCounts <= 0)
        return 0;
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    timer->start = start.QuadPart;

    // The default resolution of the system's timers (15.6 ms) would let a 10 ms period come
    // late by most of a period; 1 ms is asked for as long as this timer runs.
    timeBeginPeriod(1);
    // The timer's address travels as the callback's user data; TIME_KILL_SYNCHRONOUS makes
    // timeKillEvent wait for a callback under way, so the timer can be freed after it.
    const UINT id = ::timeSetEvent(UINT(delayMs), 0, &Timer::Tick_Proc, reinterpret_cast<DWORD_PTR>(timer.get()),
                                   TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (id == 0) {
        timeEndPeriod(1);
        return 0;
    }
    timer->id = id;
    std::lock_guard lock(m_mutex);
    // The service's identifiers are small positive numbers and never in use twice.
    const auto key = static_cast<int32_t>(id);
    m_timers[key] = std::move(timer);
    return key;
}

void MultimediaTickTimer::timeKillEvent(int32_t id)
{
    std::unique_ptr<Timer> timer;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        timer = std::move(it->second);
        m_timers.erase(it);
    }
    stop(std::move(timer));
}

void MultimediaTickTimer::stop(std::unique_ptr<Timer> timer)
{
    timer->stopping.store(true, std::memory_order_release);
    ::timeKillEvent(timer->id);
    timeEndPeriod(1);
    // Killed from inside its own callback, which is still on this thread's stack: the
    // callback frees it on its way out. No later event comes after timeKillEvent.
    if (timer->runningOn.load(std::memory_order_acquire) == GetCurrentThreadId()) {
        timer->killedInside = true;
        static_cast<void>(timer.release());
    }
}
