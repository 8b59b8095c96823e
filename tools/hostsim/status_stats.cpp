#include "status_stats.h"

namespace {
constexpr int64_t kRateWindowMs = 1000;
}

void StatusStats::split(const QString& text, int* lapNo, QString* message)
{
    // The client writes its lap number in three columns; the host never sends more than
    // three digits, so the echo is three characters and the message follows directly.
    const QString digits = text.left(3);
    bool ok = digits.size() == 3;
    for (QChar c : digits)
        ok = ok && c >= u'0' && c <= u'9';
    *lapNo = ok ? digits.toInt() : -1;
    *message = text.mid(3);
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
