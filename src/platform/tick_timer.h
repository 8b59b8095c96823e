#pragma once

#include <cstdint>
#include <functional>

/// A periodic timer that calls its callback from a thread of its own.
class ITickTimer {
public:
    virtual ~ITickTimer() = default;
    /// Starts a periodic timer of delayMs; the callback runs once for every elapsed period,
    /// none lost. Returns the timer identifier, 0 when the timer could not be started.
    virtual int32_t timeSetEvent(int delayMs, std::function<void()> callback) = 0;
    /// Stops the timer with this identifier; when it returns the callback no longer runs.
    virtual void timeKillEvent(int32_t id) = 0;
};
