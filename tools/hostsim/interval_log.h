#pragma once

#include <cstdint>
#include <vector>

/// The times between consecutive status datagrams of one car, kept in microseconds over a
/// window that the caller closes and opens again (a measurement of a steady run).
class IntervalLog {
public:
    /// How the intervals of one window are spread, in milliseconds (nearest rank).
    struct Spread {
        int64_t count = 0;    ///< intervals in the window
        double minMs = 0;
        double medianMs = 0;
        double p90Ms = 0;
        double p99Ms = 0;
        double maxMs = 0;
        int64_t over150 = 0;  ///< intervals longer than 150 ms
    };

    /// A datagram arrived at nowUs (monotonic microseconds).
    void record(int64_t nowUs);
    /// The spread of the intervals recorded since the last take (or the first datagram); starts a
    /// new window whose first interval runs from the last datagram before it.
    Spread take();

private:
    std::vector<int64_t> m_intervalsUs;
    int64_t m_lastUs = -1;
};
