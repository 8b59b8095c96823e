#include "stream_check.h"

bool StreamCheck::status(int64_t nowMs, int lapNo, int inLastSecond, QList<Finding>* findings)
{
    const bool starts = m_last < 0 || nowMs - m_last > kStreamEndMs;
    if (starts) {
        // The host cannot tell a Stop from a client that fell silent; after a second of silence
        // the stream counts as ended, and what follows is a new run of the client.
        m_streamStart = nowMs;
        m_overRate = false;
        m_echo.reset();
    } else if (nowMs - m_last > kMaxGapMs && m_last - m_streamStart >= kWarmUpMs) {
        findings->append({Rule::StatusGap,
                          QStringLiteral("%1 ms between two status datagrams").arg(nowMs - m_last), m_last, nowMs});
    }
    m_last = nowMs;

    // One finding per excess: it is reported when the count first goes over, not at every
    // datagram while it stays over.
    if (inLastSecond > kMaxPerSecond && !m_overRate)
        findings->append({Rule::StatusRate,
                          QStringLiteral("%1 status datagrams within one second").arg(inLastSecond), nowMs - 1000, nowMs});
    m_overRate = inLastSecond > kMaxPerSecond;

    if (m_echo) {
        if (lapNo == m_echo->lapNo) {
            m_echo.reset();
        } else if (nowMs - m_echo->sentAtMs > kEchoMs) {
            findings->append({Rule::Echo,
                              QStringLiteral("lap %1 reported %2 ms ago, the head still says %3")
                                  .arg(m_echo->lapNo, 3, 10, QChar(u'0')).arg(nowMs - m_echo->sentAtMs)
                                  .arg(lapNo < 0 ? QStringLiteral("no lap") : QStringLiteral("%1").arg(lapNo, 3, 10, QChar(u'0'))),
                              m_echo->sentAtMs, nowMs});
            m_echo.reset();
        }
    }
    return starts;
}

void StreamCheck::lapReportSent(int64_t nowMs, int lapNo)
{
    if (lapNo == m_lastSentLap)
        return;
    m_lastSentLap = lapNo;
    // A report sent while no stream runs may find the client's port closed: nothing to await.
    const bool running = m_last >= 0 && nowMs - m_last <= kStreamEndMs;
    if (running)
        m_echo = AwaitedEcho{lapNo, nowMs};
    else
        m_echo.reset();
}

void StreamCheck::forgetEcho()
{
    m_echo.reset();
}
