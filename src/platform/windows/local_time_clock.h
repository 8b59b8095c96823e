#pragma once

#include "platform/worker_clock.h"

/// The PC's clock, read locally and set with SetLocalTime on a worker thread, so that setting
/// never waits. Setting needs the right to change the system time; without it every request
/// is refused, the first refusal of each run is told on standard error, and the clock stays
/// as it is.
class LocalTimeClock : public WorkerClock {
public:
    /// Enables the right to set the clock where the user's token holds it.
    LocalTimeClock();
};
