#include "lap_plan.h"

bool isPitLap(const SimOptions& options, int64_t lapNo)
{
    return options.pitEvery > 0 && lapNo > 0 && lapNo % options.pitEvery == 0;
}

int plannedLapMs(const SimOptions& options, int64_t lapNo, QRandomGenerator& random)
{
    const int spread = options.spreadMs;
    // Drawn on a pit lap too, so that under --seed the laps between stops come out as they
    // would in a run without stops.
    const int jitter = spread > 0 ? random.bounded(-spread, spread + 1) : 0;
    // A pit lap has no spread: the stop shows in the lap times as a step of exactly --pit-s.
    if (isPitLap(options, lapNo))
        return options.lapMs + options.pitS * 1000;
    return options.lapMs + jitter;
}
