#include "pit/watchdog.h"

#include <algorithm>

void Watchdog::started(qint64 ms)
{
    *this = Watchdog();
    m_running = true;
    m_lastReportMs = ms;
}

void Watchdog::lapReported(qint64 ms, qint64 lapMs)
{
    if (!m_running)
        return;
    m_lastReportMs = ms;
    // A report without a readable time still proves the host is there, but says nothing of the
    // laps' length.
    if (lapMs > 0) {
        m_lapSumMs += lapMs;
        ++m_laps;
    }
    m_silenceTold = false;
    m_refusingSinceMs.reset();
    m_refusingDueMs.reset();
    m_refusingTold = false;
}

void Watchdog::refused(qint64 ms)
{
    if (!m_running || m_refusingDueMs)
        return;
    if (!m_refusingSinceMs || ms - m_lastRefusalMs > kRefusalGapMs)
        m_refusingSinceMs = ms;
    m_lastRefusalMs = ms;
    if (ms - *m_refusingSinceMs >= kRefusingMs)
        m_refusingDueMs = ms;
}

void Watchdog::stopped(qint64 ms)
{
    if (!m_running)
        return;
    m_running = false;
    m_stoppedMs = ms;
}

qint64 Watchdog::silenceLimitMs() const
{
    if (m_laps == 0)
        return kSilenceFloorMs;
    return std::max(kSilenceFloorMs, kSilenceLaps * m_lapSumMs / m_laps);
}

qint64 Watchdog::silentMs(qint64 nowMs) const
{
    return m_stoppedMs.value_or(nowMs) - m_lastReportMs;
}

QList<StintAlert> Watchdog::alertsDue(qint64 nowMs)
{
    QList<StintAlert> due;
    if (!m_running)
        return due;
    const qint64 silenceDue = m_lastReportMs + silenceLimitMs();
    if (!m_silenceTold && nowMs >= silenceDue) {
        m_silenceTold = true;
        due.append({AlertKind::LapSilence, 0, silenceDue});
    }
    if (m_refusingDueMs && !m_refusingTold && nowMs >= *m_refusingDueMs) {
        m_refusingTold = true;
        due.append({AlertKind::HostUnreachable, 0, *m_refusingDueMs});
    }
    std::sort(due.begin(), due.end(), [](const StintAlert& a, const StintAlert& b) { return a.dueMs < b.dueMs; });
    return due;
}
