#include "sim_clock.h"

namespace {
// Hold-ups older than this can no longer matter to any check.
constexpr int64_t kKeepMs = 10000;
}

HeartbeatClock::HeartbeatClock(QObject* parent) : QObject(parent)
{
    m_clock.start();
    m_heartbeat.setTimerType(Qt::PreciseTimer);
    m_heartbeat.setInterval(int(kBeatMs));
    connect(&m_heartbeat, &QTimer::timeout, this, &HeartbeatClock::beat);
    m_heartbeat.start();
}

int64_t HeartbeatClock::nowMs() const
{
    return m_clock.elapsed();
}

void HeartbeatClock::beat()
{
    const int64_t now = nowMs();
    if (now - m_lastBeat > kHoldUpMs)
        m_holdUps.emplace_back(m_lastBeat, now);
    while (!m_holdUps.empty() && m_holdUps.front().second < now - kKeepMs)
        m_holdUps.pop_front();
    m_lastBeat = now;
}

bool HeartbeatClock::heldUp(int64_t fromMs, int64_t toMs) const
{
    // A datagram read just after a hold-up may be judged before the late beat has noted it.
    const int64_t now = nowMs();
    if (now - m_lastBeat > kHoldUpMs && m_lastBeat < toMs)
        return true;
    for (const auto& [start, end] : m_holdUps) {
        if (start < toMs && end > fromMs)
            return true;
    }
    return false;
}
