#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// One lap of a lap log, the columns the chart needs.
struct LapEntry {
    int lap = 0;           ///< lap number on the chart: the host's, run on past 999 where it wraps
    qint64 lapMs = 0;      ///< the lap's time
    qint64 bestMs = 0;     ///< best lap after it
    qint64 averageMs = 0;  ///< average lap after it
    int stint = 0;         ///< 1-based stint; 0 in a file without the stint columns
    QString driver = {};   ///< the stint's driver; empty without a roster
    QString pit = {};      ///< "in" for an in-lap, "out" for an out-lap, else empty

    /// Whether the lap is an in- or out-lap.
    bool pitLap() const { return pit == QLatin1String("in") || pit == QLatin1String("out"); }
};

/// A lap log read for the chart: its laps in file order, or why it could not be read.
struct LapTable {
    QList<LapEntry> laps;
    QString error;    ///< empty when the file was read
    QString warning;  ///< what was left out of a file that was read, else empty
    bool stints = false;  ///< the file has the stint, driver and pit columns
};

/// Splits CSV text into records of fields: quoted fields may hold commas, doubled quotes and
/// line breaks; CRLF and LF both end a record.
QList<QStringList> parseCsv(const QString& text);
/// Reads a lap log (UTF-8, with or without a byte order mark): the columns are found by
/// their names in the header row, so columns added later do not disturb it; the stint, driver
/// and pit columns are read where the header has them. A last row cut
/// short by the end of the file (a power cut, a full disk) is left out with a warning; any
/// other row that is not a lap is an error.
LapTable readLapTable(const QByteArray& bytes);
/// Lap numbers that run on where the host's three digits wrap from 999 to 0.
void unwrapLapNumbers(QList<LapEntry>& laps);
