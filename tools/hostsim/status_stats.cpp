#include "status_stats.h"

#include "sim_protocol.h"

namespace {
constexpr int64_t kRateWindowMs = 1000;
}

void StatusStats::split(const QString& text, int* lapNo, QString* message)
{
    SimProtocol::splitStatus(text, lapNo, message);
}

bool StatusStats::record(const QString& text, int64_t nowMs)
{
    int lapNo = -1;
    QString message;
    split(text, &lapNo, &message);
    const bool changed = m_count == 0 || lapNo != m_lapNo || message != m_message;

    if (m_count > 0 && nowMs - m_lastAt > m_largestGap)
        m_largestGap = nowMs - m_lastAt;
    ++m_count;
    m_lastAt = nowMs;
    m_lapNo = lapNo;
    m_message = message;
    m_text = text;
    m_recent.push_back(nowMs);
    rate(nowMs);
    return changed;
}

int StatusStats::rate(int64_t nowMs)
{
    while (!m_recent.empty() && m_recent.front() <= nowMs - kRateWindowMs)
        m_recent.pop_front();
    return int(m_recent.size());
}
