#pragma once

#include <cstdint>

/// The host's book of one car's laps: how many, the last, the best and the average lap time.
class LapBook {
public:
    /// Records a completed lap of ms milliseconds.
    void addLap(int32_t ms);
    /// Laps completed so far.
    int64_t lapsCompleted() const { return m_count; }
    /// The lap number as the lap report carries it: laps completed, kept within three digits.
    int32_t reportedLapNo() const;
    /// The time of the lap completed last (0 before any).
    int32_t lastLap() const { return m_last; }
    /// The shortest lap so far (0 before any).
    int32_t bestLap() const { return m_best; }
    /// The mean of all laps so far, rounded to the nearest millisecond (0 before any).
    int32_t aveLap() const;

private:
    int64_t m_count = 0;
    int64_t m_sum = 0;
    int32_t m_last = 0;
    int32_t m_best = 0;
};
