#include "lap_book.h"

void LapBook::addLap(int32_t ms)
{
    ++m_count;
    m_sum += ms;
    m_last = ms;
    if (m_count == 1 || ms < m_best)
        m_best = ms;
}

int32_t LapBook::reportedLapNo() const
{
    // The report has three columns for the lap number; after 999 it starts again at 0, which
    // still differs from the lap before, so the client takes it as a new lap.
    return int32_t(m_count % 1000);
}

int32_t LapBook::aveLap() const
{
    if (m_count == 0)
        return 0;
    // Lap times are positive, so adding half the divisor rounds halves up.
    return int32_t((m_sum + m_count / 2) / m_count);
}
