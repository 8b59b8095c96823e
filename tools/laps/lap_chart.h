#pragma once

#include "lap_table.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

class QPainter;

/// The debrief chart of one run: lap time against lap number, the best and the average lap
/// as lines, the laps slower than the average marked. Laps of a log with stints take their
/// driver's colour instead, and the in- and out-laps are ringed. Titles and axes are Japanese.
class LapChart {
public:
    /// A chart of laps (at least one) drawn size pixels large.
    LapChart(QList<LapEntry> laps, QSize size);

    /// Draws the whole chart onto painter, whose device is size() large.
    void paint(QPainter& painter) const;
    /// The chart's size in pixels.
    QSize size() const { return m_size; }
    /// The area inside the axes.
    QRectF plotArea() const;
    /// Where a lap number and a time in milliseconds lie on the chart.
    QPointF pointAt(double lap, double ms) const;
    /// Where the header's texts and the legend's entries stand.
    struct Header {
        QRectF title, subtitle;  ///< the extent of each text
        QList<QRectF> legend;    ///< each entry, its sample and its name, in the legend's order
    };
    /// The header laid out from both sides: the titles from the left, the legend from the
    /// right, on a second row where the first leaves it too little room.
    Header header() const;
    /// Whether a lap is marked as slower than the average.
    static bool overAverage(const LapEntry& e) { return e.lapMs > e.averageMs; }
    /// The drivers in the order they first drove; empty for a log without stints.
    const QStringList& drivers() const { return m_drivers; }
    /// The colour of the laps of drivers()[index]: a fixed palette, taken again from its start
    /// after its last colour.
    static QColor driverColor(qsizetype index);

    static inline const QColor kLapColor{0x1F, 0x5F, 0xBF};   ///< the lap times, line and points
    static inline const QColor kOverColor{0xD6, 0x27, 0x28};  ///< points of laps over the average
    static inline const QColor kBestColor{0x2E, 0x9E, 0x44};  ///< the best-lap line
    static inline const QColor kAverageColor{0xE0, 0x8A, 0x00};  ///< the average line
    static inline const QColor kPitColor{0x20, 0x20, 0x20};   ///< the rings of in- and out-laps

private:
    struct LegendItem {
        QString text;
        QColor color;
        Qt::PenStyle style;
        bool point;
        bool ring = false;
    };

    QList<LegendItem> legendItems() const;
    double unit() const;
    QString subtitle() const;
    void paintFrame(QPainter& p) const;
    void paintSeries(QPainter& p) const;
    void paintLegend(QPainter& p) const;

    QList<LapEntry> m_laps;
    bool m_stints = false;
    QStringList m_drivers;
    QSize m_size;
    double m_lapFrom = 0, m_lapTo = 1, m_lapStep = 1;
    double m_msFrom = 0, m_msTo = 1, m_msStep = 1;
};
