#pragma once

#include "pit/stint_rules.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <set>
#include <tuple>

/// What the pit panel is to tell the crew, once per event.
enum class AlertKind {
    StintEnding,  ///< five minutes are left before the longest stint
    StintMax,     ///< the stint has reached the longest stint
    StopDone,     ///< the stop has lasted the shortest stop: the car may go
    PitsOpen,     ///< the pits open after the start
    PitsClosing,  ///< the pits close before the end
    DriverMax,    ///< a driver has reached the most driving time
    LapSilence,       ///< no lap report for long (the watchdog's)
    HostUnreachable,  ///< the host's port refuses the status datagrams (the watchdog's)
};

/// An alert that became due.
struct StintAlert {
    AlertKind kind;
    int subject = 0;  ///< the stint number, the stop number or the driver index; 0 for the pits and the watchdog
    qint64 dueMs = 0;
    bool operator==(const StintAlert&) const = default;
};

/// One pit stop.
struct PitStop {
    qint64 inMs = 0;
    std::optional<qint64> outMs;  ///< none while the car is still in
    std::optional<int> driver;    ///< who drove out; none without a roster or while in
    bool operator==(const PitStop&) const = default;
};

/// The figures of the current stint at a moment. During a stop they are those of the stint the
/// stop ended, frozen at the pit-in.
struct StintStatus {
    int stint = 0;                       ///< 1-based; 0 before the start
    std::optional<int> driver;           ///< roster index; none without a roster
    qint64 runningMs = 0;                ///< from the stint's start to now (or its end)
    int laps = 0;
    std::optional<qint64> bestMs;        ///< best lap of the stint, in- and out-laps included
    std::optional<qint64> averageMs;     ///< average lap without in- and out-laps
    std::optional<qint64> leftMs;        ///< left before the longest stint (negative: over); none when off
    bool inStop = false;
    qint64 stopMs = 0;                   ///< running time of the stop in progress
    std::optional<qint64> stopLeftMs;    ///< left before the shortest stop; none when off or not in a stop
    bool pitsOpen = false;
};

/// Where a lap stands among the stints.
struct LapPlace {
    enum class Pit { None, In, Out };
    int stint = 0;               ///< 1-based
    std::optional<int> driver;   ///< the stint's driver; none without a roster
    Pit pit = Pit::None;         ///< In: the in-lap of the stint it ends; Out: the new stint's out-lap
    bool operator==(const LapPlace&) const = default;
};

/// One driver's share of the race.
struct DriverTotal {
    qint64 drivenMs = 0;
    int laps = 0;
    std::optional<qint64> shortOfMinMs;  ///< driving time still owed (0 when met); none when off
    std::optional<qint64> leftToMaxMs;   ///< driving time left (negative: over); none when off
};

/// The arithmetic of one race's stints and pit stops, fed with the moments of the run in
/// milliseconds of a steady clock; it reads no clock itself, and every query takes the moment.
///
/// A stint runs from the start (the first) or a pit-out to the next pit-in or the stop of the
/// run. A pit stop runs from pit-in to pit-out and counts toward no driver's time.
///
/// A lap runs from the previous lap report (the first from the start) to its own report, and
/// belongs to the stint running when it began; a lap begun during a stop belongs to the stint
/// that stop starts. So the lap in which pit-in is pressed is the in-lap of the stint it ends,
/// even when its report comes during the stop or after the pit-out; the lap in which pit-out is
/// pressed is the out-lap, and when pit-in and pit-out fall in one lap, that lap is the ended
/// stint's in-lap and the new stint's first lap is a full one. In- and out-laps count as laps
/// and for the best lap, but not for the average.
///
/// Every input that changes the book adds a line to journal(); fromJournal() rebuilds a book
/// that answers the same from those lines.
class StintBook {
public:
    /// A book for a race under rules; nothing happens before raceStarted.
    explicit StintBook(StintRules rules);

    /// The Start press: the first stint begins, with firstDriver (by default the roster's first).
    /// False when the race has started already or the driver is not on the roster.
    bool raceStarted(qint64 ms, std::optional<int> firstDriver = std::nullopt);
    /// The host's end of the race, as a moment of the same clock; it may change.
    void endTimeKnown(qint64 msOfEnd);
    /// A lap report taken at ms; each lap taken is passed once. Ignored outside the race.
    void lapTaken(qint64 ms, int lapNumber, qint64 lapMs);
    /// The pit-in key; false (and nothing changes) outside the race or when already in.
    bool pitIn(qint64 ms);
    /// The pit-out key: the next stint begins with driver, by default nextDriver(). False when
    /// not in a stop or the driver is not on the roster.
    bool pitOut(qint64 ms, std::optional<int> driver = std::nullopt);
    /// Takes back the last pit key of the race, as if never pressed; false when there is none
    /// or the race has been stopped. Alerts told stay told.
    bool undo();
    /// The Stop press: the race is over and every figure stays as it was at ms.
    void stopped(qint64 ms);

    /// The figures at nowMs.
    StintStatus status(qint64 nowMs) const;
    /// Driver index's share of the race at nowMs.
    DriverTotal driverTotal(int driver, qint64 nowMs) const;
    /// The driver pit-out takes by default: the one after the last stint's, wrapping; none
    /// without a roster.
    std::optional<int> nextDriver() const;
    /// Whether the pits are open at ms: the race runs, and ms is outside the closed times.
    bool pitsOpen(qint64 ms) const;
    /// The stint of the last lap taken, as the pit keys pressed so far place it; none before
    /// the first lap of the race.
    std::optional<LapPlace> lastLap() const;
    /// The stops made, the one in progress last.
    const QList<PitStop>& stops() const { return m_stops; }
    /// The rules the book was made with.
    const StintRules& rules() const { return m_rules; }

    /// The alerts that have become due by nowMs and were not told before, earliest first. An
    /// alert is told once for its event: the stint or stop with its start, the driver, the
    /// pits' opening or closing. Stint and driver alerts come only while the car is out; the
    /// pits' closing is told once a race, however the end moves afterwards.
    QList<StintAlert> alertsDue(qint64 nowMs);

    /// One line per input that changed the book (and per call of alertsDue that told
    /// something), oldest first: "S ms driver", "E ms", "L ms lap lapMs", "I ms",
    /// "O ms driver", "U" (undo), "X ms" (stopped), "A ms" (alerts told); "-" for no driver.
    const QStringList& journal() const { return m_journal; }
    /// A book under rules rebuilt from journal lines; lines it cannot read are passed over and
    /// counted in unread.
    static StintBook fromJournal(StintRules rules, const QStringList& lines, int* unread = nullptr);

private:
    struct Lap {
        qint64 startMs;
        qint64 endMs;
        qint64 lapMs;
    };
    struct Stint {
        qint64 startMs;
        std::optional<qint64> endMs;
        std::optional<int> driver;
    };

    bool running() const { return m_startMs.has_value() && !m_stoppedMs.has_value(); }
    bool validDriver(std::optional<int> driver) const;
    qint64 until(qint64 nowMs) const;
    QList<Stint> stints() const;
    int stintOfLap(const Lap& lap) const;
    bool holdsPress(const Lap& lap) const;
    void note(const QString& line) { m_journal.append(line); }

    StintRules m_rules;
    std::optional<qint64> m_startMs;
    std::optional<int> m_firstDriver;
    std::optional<qint64> m_endMs;
    std::optional<qint64> m_stoppedMs;
    QList<PitStop> m_stops;
    QList<Lap> m_laps;
    std::set<std::tuple<int, int, qint64>> m_told;  ///< kind, subject, start of the stint or stop
    QStringList m_journal;
};
