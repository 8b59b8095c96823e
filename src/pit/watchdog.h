#pragma once

#include "pit/stint_book.h"

#include <QList>

#include <optional>

/// Watches a run's lap reports and the host's refusals of the status datagrams, fed with
/// moments of the pit observer's steady clock; it reads no clock itself.
///
/// Lap silence: no lap report for three times the run's average lap, and never for less than
/// three minutes, counted from the last report (from the start before the first). The average
/// is that of the lap times the host has reported in the run so far; before the first, the three
/// minutes alone count.
///
/// Host refusing: refusals that keep coming for three seconds with no lap report among them,
/// each within two seconds of the one before. A refused datagram is told once, on a later call
/// of the socket, and a host may answer only about once a second; a refusal after a longer gap
/// starts the count again.
///
/// Each is told once, and both end at the next lap report (or the next run).
class Watchdog {
public:
    static constexpr qint64 kSilenceFloorMs = 3 * 60'000;
    static constexpr int kSilenceLaps = 3;
    static constexpr qint64 kRefusingMs = 3'000;
    static constexpr qint64 kRefusalGapMs = 2'000;

    /// The run starts at ms.
    void started(qint64 ms);
    /// A lap report taken at ms, with the host's lap time (lapMs <= 0: no time to count).
    void lapReported(qint64 ms, qint64 lapMs);
    /// The host's port refused a status datagram; told at ms.
    void refused(qint64 ms);
    /// The run stops at ms: nothing more is due, and the silence stands still.
    void stopped(qint64 ms);

    /// The silence after which the lap-silence alert is due, by the laps so far.
    qint64 silenceLimitMs() const;
    /// The time since the last lap report (since the start before the first) at nowMs.
    qint64 silentMs(qint64 nowMs) const;
    /// The alerts that have become due by nowMs and were not told before, earliest first.
    QList<StintAlert> alertsDue(qint64 nowMs);

private:
    bool m_running = false;
    qint64 m_lastReportMs = 0;
    std::optional<qint64> m_stoppedMs;
    qint64 m_lapSumMs = 0;
    int m_laps = 0;
    bool m_silenceTold = false;
    std::optional<qint64> m_refusingSinceMs;  ///< the first refusal of the current streak
    qint64 m_lastRefusalMs = 0;
    std::optional<qint64> m_refusingDueMs;    ///< when the streak reached three seconds
    bool m_refusingTold = false;
};
