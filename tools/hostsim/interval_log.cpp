#include "interval_log.h"

#include <algorithm>

void IntervalLog::record(int64_t nowUs)
{
    if (m_lastUs >= 0)
        m_intervalsUs.push_back(nowUs - m_lastUs);
    m_lastUs = nowUs;
}

IntervalLog::Spread IntervalLog::take()
{
    std::vector<int64_t> v;
    v.swap(m_intervalsUs);
    Spread s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const auto rank = [&v](double q) {
        // Nearest rank: the smallest value with at least q of the intervals at or below it.
        size_t r = size_t(q * double(v.size()) + 0.999999);
        return double(v[std::clamp<size_t>(r, 1, v.size()) - 1]) / 1000.0;
    };
    s.count = int64_t(v.size());
    s.minMs = double(v.front()) / 1000.0;
    s.medianMs = rank(0.5);
    s.p90Ms = rank(0.9);
    s.p99Ms = rank(0.99);
    s.maxMs = double(v.back()) / 1000.0;
    s.over150 = std::count_if(v.begin(), v.end(), [](int64_t us) { return us > 150000; });
    return s;
}
