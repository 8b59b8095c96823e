#pragma once

#include "lap_table.h"

#include <QList>
#include <QString>

#include <optional>

/// The figures of a set of laps: one driver's, or the whole run's.
struct LapFigures {
    QString driver;                  ///< empty for the whole run or a stint without a roster
    int laps = 0;
    qint64 drivenMs = 0;             ///< the sum of the laps
    std::optional<qint64> bestMs;    ///< in- and out-laps included
    std::optional<qint64> averageMs; ///< in- and out-laps left out
};

/// What --summary tells of a lap log.
struct LapSummary {
    QList<LapFigures> drivers;  ///< per driver in the order they first drove; empty without the stint columns
    LapFigures run;             ///< the whole run
    int stops = 0;              ///< the in-laps: each stop has exactly one
};

/// The summary of table's laps.
LapSummary summarize(const LapTable& table);
/// The summary as --summary prints it: per driver, then the stops, for a file with the stint
/// columns; the whole run's laps, best and average for one without.
QString summaryText(const LapSummary& summary, bool stints);
