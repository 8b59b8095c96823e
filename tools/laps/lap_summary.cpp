#include "lap_summary.h"

#include "client/time_format.h"

#include <algorithm>

namespace {

void add(LapFigures& f, const LapEntry& e)
{
    ++f.laps;
    f.drivenMs += e.lapMs;
    f.bestMs = std::min(f.bestMs.value_or(e.lapMs), e.lapMs);
}

// The average of laps that count, rounded down as the pit panel shows it.
void average(LapFigures& f, const QList<const LapEntry*>& counted)
{
    if (counted.isEmpty())
        return;
    qint64 sum = 0;
    for (const LapEntry* e : counted)
        sum += e->lapMs;
    f.averageMs = sum / counted.size();
}

QString lapText(const std::optional<qint64>& ms)
{
    return ms ? Fmt_LapMilli(int32_t(*ms)) : QStringLiteral("-");
}

QString drivenText(qint64 ms)
{
    return Fmt_HMS(int32_t(ms / 1000)) + QStringLiteral(".%1").arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace

LapSummary summarize(const LapTable& table)
{
    LapSummary s;
    QList<QList<const LapEntry*>> counted;
    QList<const LapEntry*> runCounted;
    for (const LapEntry& e : table.laps) {
        add(s.run, e);
        // Without the stint columns nothing says which laps were in- or out-laps.
        if (!e.pitLap())
            runCounted << &e;
        if (!table.stints)
            continue;
        if (e.pit == QLatin1String("in"))
            ++s.stops;
        auto at = std::find_if(s.drivers.begin(), s.drivers.end(),
                               [&](const LapFigures& f) { return f.driver == e.driver; });
        if (at == s.drivers.end()) {
            LapFigures first;
            first.driver = e.driver;
            s.drivers.append(first);
            counted.append(QList<const LapEntry*>());
            at = s.drivers.end() - 1;
        }
        add(*at, e);
        if (!e.pitLap())
            counted[at - s.drivers.begin()] << &e;
    }
    for (qsizetype i = 0; i < s.drivers.size(); ++i)
        average(s.drivers[i], counted.at(i));
    average(s.run, runCounted);
    return s;
}

QString summaryText(const LapSummary& summary, bool stints)
{
    QString text;
    if (!stints) {
        return QStringLiteral("laps %1  best %2  average %3\n")
            .arg(summary.run.laps)
            .arg(lapText(summary.run.bestMs), lapText(summary.run.averageMs));
    }
    for (const LapFigures& f : summary.drivers) {
        text += QStringLiteral("%1: laps %2  driving %3  best %4  average %5\n")
                    .arg(f.driver.isEmpty() ? QStringLiteral("(no name)") : f.driver)
                    .arg(f.laps)
                    .arg(drivenText(f.drivenMs), lapText(f.bestMs), lapText(f.averageMs));
    }
    text += QStringLiteral("stops %1\n").arg(summary.stops);
    return text;
}
