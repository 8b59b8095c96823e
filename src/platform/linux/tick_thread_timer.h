#pragma once

#include "platform/tick_timer.h"

#include <map>
#include <memory>
#include <mutex>

/// Periodic timers, each on a thread of its own that sleeps to absolute deadlines on the
/// monotonic clock and runs the callback once for every period that has passed. The thread
/// runs at the lowest real-time priority where the system allows it, else at a raised nice
/// value, else as an ordinary thread.
class TickThreadTimer : public ITickTimer {
public:
    TickThreadTimer() = default;
    /// Stops every timer still running.
    ~TickThreadTimer() override;
    TickThreadTimer(const TickThreadTimer&) = delete;
    TickThreadTimer& operator=(const TickThreadTimer&) = delete;

    /// Starts a timer of delayMs (at least 1); returns its nonzero identifier, or 0.
    int32_t timeSetEvent(int delayMs, std::function<void()> callback) override;
    /// Stops the timer and waits (at most one period) for its thread to end.
    void timeKillEvent(int32_t id) override;

private:
    struct Worker;
    static void stop(const std::shared_ptr<Worker>& worker);

    std::mutex m_mutex;
    std::map<int32_t, std::shared_ptr<Worker>> m_workers;
    int32_t m_nextId = 1;
};
