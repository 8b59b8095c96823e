#include "pit/stint_book.h"

#include <algorithm>

namespace {

constexpr qint64 kMinute = 60'000;
constexpr qint64 kStintWarningMs = 5 * kMinute;

QString driverText(std::optional<int> driver)
{
    return driver ? QString::number(*driver) : QStringLiteral("-");
}

} // namespace

StintBook::StintBook(StintRules rules)
    : m_rules(std::move(rules))
{
}

bool StintBook::validDriver(std::optional<int> driver) const
{
    // Without a roster nobody is named; with one, somebody on it always drives.
    if (m_rules.drivers.isEmpty())
        return !driver.has_value();
    return driver && *driver >= 0 && *driver < m_rules.drivers.size();
}

bool StintBook::raceStarted(qint64 ms, std::optional<int> firstDriver)
{
    if (!firstDriver && !m_rules.drivers.isEmpty())
        firstDriver = 0;
    if (m_startMs || !validDriver(firstDriver))
        return false;
    m_startMs = ms;
    m_firstDriver = firstDriver;
    note(QStringLiteral("S %1 %2").arg(ms).arg(driverText(firstDriver)));
    return true;
}

void StintBook::endTimeKnown(qint64 msOfEnd)
{
    if (m_endMs == msOfEnd)
        return;
    m_endMs = msOfEnd;
    note(QStringLiteral("E %1").arg(msOfEnd));
}

void StintBook::lapTaken(qint64 ms, int lapNumber, qint64 lapMs)
{
    if (!running())
        return;
    // The lap began with the report before it, which keeps the laps end to end: a press always
    // falls in exactly one lap, even when reports were missed.
    const qint64 startMs = m_laps.isEmpty() ? *m_startMs : m_laps.constLast().endMs;
    m_laps.append({startMs, ms, lapMs});
    note(QStringLiteral("L %1 %2 %3").arg(ms).arg(lapNumber).arg(lapMs));
}

bool StintBook::pitIn(qint64 ms)
{
    if (!running() || (!m_stops.isEmpty() && !m_stops.constLast().outMs))
        return false;
    m_stops.append({ms, std::nullopt, std::nullopt});
    note(QStringLiteral("I %1").arg(ms));
    return true;
}

bool StintBook::pitOut(qint64 ms, std::optional<int> driver)
{
    if (!running() || m_stops.isEmpty() || m_stops.constLast().outMs)
        return false;
    if (!driver)
        driver = nextDriver();
    if (!validDriver(driver))
        return false;
    m_stops.last().outMs = ms;
    m_stops.last().driver = driver;
    note(QStringLiteral("O %1 %2").arg(ms).arg(driverText(driver)));
    return true;
}

bool StintBook::undo()
{
    if (!running() || m_stops.isEmpty())
        return false;
    PitStop& last = m_stops.last();
    if (last.outMs) {
        last.outMs.reset();
        last.driver.reset();
    } else {
        m_stops.removeLast();
    }
    note(QStringLiteral("U"));
    return true;
}

void StintBook::stopped(qint64 ms)
{
    if (!running())
        return;
    m_stoppedMs = ms;
    note(QStringLiteral("X %1").arg(ms));
}

qint64 StintBook::until(qint64 nowMs) const
{
    return m_stoppedMs ? std::min(nowMs, *m_stoppedMs) : nowMs;
}

QList<StintBook::Stint> StintBook::stints() const
{
    QList<Stint> list;
    if (!m_startMs)
        return list;
    list.append({*m_startMs, std::nullopt, m_firstDriver});
    for (const PitStop& stop : m_stops) {
        list.last().endMs = stop.inMs;
        if (!stop.outMs)
            break;
        list.append({*stop.outMs, std::nullopt, stop.driver});
    }
    if (m_stoppedMs && !list.last().endMs)
        list.last().endMs = *m_stoppedMs;
    return list;
}

int StintBook::stintOfLap(const Lap& lap) const
{
    // A lap begun while the car was in belongs to the stint its stop starts (the stint after
    // the stop, as the next stop can only come later); one begun during the stop in progress,
    // to the stint that stop ended.
    int index = 0;
    for (const PitStop& stop : m_stops) {
        if (lap.startMs < stop.inMs || !stop.outMs)
            return index;
        ++index;
    }
    return index;
}

bool StintBook::holdsPress(const Lap& lap) const
{
    auto holds = [&lap](qint64 ms) { return lap.startMs <= ms && ms < lap.endMs; };
    return std::any_of(m_stops.begin(), m_stops.end(),
                       [&](const PitStop& stop) { return holds(stop.inMs) || (stop.outMs && holds(*stop.outMs)); });
}

std::optional<LapPlace> StintBook::lastLap() const
{
    if (m_laps.isEmpty())
        return std::nullopt;
    const Lap& lap = m_laps.constLast();
    const int index = stintOfLap(lap);
    LapPlace place;
    place.stint = index + 1;
    place.driver = stints().value(index).driver;
    auto holds = [&lap](qint64 ms) { return lap.startMs <= ms && ms < lap.endMs; };
    // A pit-in in the lap makes it the in-lap even when the pit-out falls in it too: the new
    // stint then begins with a full lap.
    for (const PitStop& stop : m_stops) {
        if (holds(stop.inMs))
            place.pit = LapPlace::Pit::In;
        else if (stop.outMs && holds(*stop.outMs) && place.pit == LapPlace::Pit::None)
            place.pit = LapPlace::Pit::Out;
    }
    return place;
}

bool StintBook::pitsOpen(qint64 ms) const
{
    if (!running())
        return false;
    if (m_rules.pitsClosedStartMin > 0 && ms < *m_startMs + m_rules.pitsClosedStartMin * kMinute)
        return false;
    return !(m_rules.pitsClosedEndMin > 0 && m_endMs && ms >= *m_endMs - m_rules.pitsClosedEndMin * kMinute);
}

StintStatus StintBook::status(qint64 nowMs) const
{
    StintStatus s;
    const QList<Stint> list = stints();
    if (list.isEmpty())
        return s;
    const qint64 at = until(nowMs);
    const Stint& current = list.last();
    s.stint = int(list.size());
    s.driver = current.driver;
    s.runningMs = current.endMs.value_or(at) - current.startMs;
    if (m_rules.maxStintMin > 0)
        s.leftMs = m_rules.maxStintMin * kMinute - s.runningMs;
    qint64 sum = 0;
    int counted = 0;
    for (const Lap& lap : m_laps) {
        if (stintOfLap(lap) != s.stint - 1)
            continue;
        ++s.laps;
        s.bestMs = std::min(s.bestMs.value_or(lap.lapMs), lap.lapMs);
        if (!holdsPress(lap)) {
            sum += lap.lapMs;
            ++counted;
        }
    }
    if (counted > 0)
        s.averageMs = sum / counted;
    if (!m_stops.isEmpty() && !m_stops.constLast().outMs) {
        s.inStop = true;
        s.stopMs = at - m_stops.constLast().inMs;
        if (m_rules.minPitS > 0)
            s.stopLeftMs = m_rules.minPitS * 1000LL - s.stopMs;
    }
    s.pitsOpen = pitsOpen(at);
    return s;
}

DriverTotal StintBook::driverTotal(int driver, qint64 nowMs) const
{
    DriverTotal t;
    const QList<Stint> list = stints();
    const qint64 at = until(nowMs);
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list.at(i).driver != driver)
            continue;
        t.drivenMs += list.at(i).endMs.value_or(at) - list.at(i).startMs;
        t.laps += int(std::count_if(m_laps.begin(), m_laps.end(),
                                    [&](const Lap& lap) { return stintOfLap(lap) == i; }));
    }
    if (m_rules.minDriverMin > 0)
        t.shortOfMinMs = std::max<qint64>(0, m_rules.minDriverMin * kMinute - t.drivenMs);
    if (m_rules.maxDriverMin > 0)
        t.leftToMaxMs = m_rules.maxDriverMin * kMinute - t.drivenMs;
    return t;
}

std::optional<int> StintBook::nextDriver() const
{
    if (m_rules.drivers.isEmpty())
        return std::nullopt;
    const QList<Stint> list = stints();
    const int last = list.isEmpty() ? -1 : list.last().driver.value_or(-1);
    return (last + 1) % int(m_rules.drivers.size());
}

QList<StintAlert> StintBook::alertsDue(qint64 nowMs)
{
    QList<StintAlert> due;
    if (!running())
        return due;
    // Each candidate is keyed by its event, including the moment its stint or stop began: an
    // undone pit key brings back the same stint or stop, already told, while a stop pressed
    // again later is a new one.
    auto consider = [&](AlertKind kind, int subject, qint64 anchor, qint64 dueMs) {
        if (dueMs > nowMs || m_told.count({int(kind), subject, anchor}))
            return;
        m_told.insert({int(kind), subject, anchor});
        due.append({kind, subject, dueMs});
    };
    const QList<Stint> list = stints();
    const Stint& current = list.last();
    const int number = int(list.size());
    const bool inStop = !m_stops.isEmpty() && !m_stops.constLast().outMs;
    if (inStop && m_rules.minPitS > 0) {
        const qint64 in = m_stops.constLast().inMs;
        consider(AlertKind::StopDone, int(m_stops.size()), in, in + m_rules.minPitS * 1000LL);
    }
    if (!inStop && m_rules.maxStintMin > 0) {
        const qint64 max = current.startMs + m_rules.maxStintMin * kMinute;
        if (m_rules.maxStintMin * kMinute > kStintWarningMs)
            consider(AlertKind::StintEnding, number, current.startMs, max - kStintWarningMs);
        consider(AlertKind::StintMax, number, current.startMs, max);
    }
    if (!inStop && current.driver && m_rules.maxDriverMin > 0) {
        const qint64 before = driverTotal(*current.driver, current.startMs).drivenMs;
        consider(AlertKind::DriverMax, *current.driver, 0, current.startMs + m_rules.maxDriverMin * kMinute - before);
    }
    if (m_rules.pitsClosedStartMin > 0)
        consider(AlertKind::PitsOpen, 0, 0, *m_startMs + m_rules.pitsClosedStartMin * kMinute);
    if (m_rules.pitsClosedEndMin > 0 && m_endMs)
        consider(AlertKind::PitsClosing, 0, 0, *m_endMs - m_rules.pitsClosedEndMin * kMinute);
    std::stable_sort(due.begin(), due.end(),
                     [](const StintAlert& a, const StintAlert& b) { return a.dueMs < b.dueMs; });
    if (!due.isEmpty())
        note(QStringLiteral("A %1").arg(nowMs));
    return due;
}

StintBook StintBook::fromJournal(StintRules rules, const QStringList& lines, int* unread)
{
    StintBook book(std::move(rules));
    int bad = 0;
    for (const QString& line : lines) {
        const QStringList f = line.split(u' ');
        QList<qint64> n;
        bool ok = !f.isEmpty() && f.first().size() == 1;
        for (qsizetype i = 1; ok && i < f.size(); ++i)
            n.append(f.at(i) == QStringLiteral("-") ? -1 : f.at(i).toLongLong(&ok));
        const QChar kind = ok ? f.first().at(0) : QChar();
        auto driver = [&n](qsizetype i) { return n.at(i) < 0 ? std::nullopt : std::optional<int>(int(n.at(i))); };
        const qsizetype count = n.size();
        if (kind == u'S' && count == 2)
            ok = book.raceStarted(n.at(0), driver(1));
        else if (kind == u'E' && count == 1)
            book.endTimeKnown(n.at(0));
        else if (kind == u'L' && count == 3)
            book.lapTaken(n.at(0), int(n.at(1)), n.at(2));
        else if (kind == u'I' && count == 1)
            ok = book.pitIn(n.at(0));
        else if (kind == u'O' && count == 2)
            ok = book.pitOut(n.at(0), driver(1));
        else if (kind == u'U' && count == 0)
            ok = book.undo();
        else if (kind == u'X' && count == 1)
            book.stopped(n.at(0));
        else if (kind == u'A' && count == 1)
            book.alertsDue(n.at(0));
        else
            ok = false;
        if (!ok)
            ++bad;
    }
    if (unread)
        *unread = bad;
    return book;
}
