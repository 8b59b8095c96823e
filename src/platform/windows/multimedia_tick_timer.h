#pragma once

#include "platform/tick_timer.h"

#include <map>
#include <memory>
#include <mutex>

/// Periodic timers of the multimedia timer service (timeSetEvent), with the system's timer
/// resolution raised to 1 ms while one runs. The callback runs on the service's own thread,
/// once for every period that has passed since the start, counted on the performance counter:
/// a late or skipped timer event loses no tick.
class MultimediaTickTimer : public ITickTimer {
public:
    MultimediaTickTimer();
    /// Stops every timer still running.
    ~MultimediaTickTimer() override;
    MultimediaTickTimer(const MultimediaTickTimer&) = delete;
    MultimediaTickTimer& operator=(const MultimediaTickTimer&) = delete;

    /// Starts a timer of delayMs (at least 1); returns its nonzero identifier, or 0.
    int32_t timeSetEvent(int delayMs, std::function<void()> callback) override;
    /// Stops the timer; when it returns no callback of it runs or will run.
    void timeKillEvent(int32_t id) override;

private:
    struct Timer;
    static void stop(std::unique_ptr<Timer> timer);

    std::mutex m_mutex;
    std::map<int32_t, std::unique_ptr<Timer>> m_timers;
};
