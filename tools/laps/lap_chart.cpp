#include "lap_chart.h"

#include "client/time_format.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The chart's proportions are drawn for 1280 x 720 and scale with the height; a chart narrower
// than this for its height scales with the width, so that the header still fits across.
constexpr double kDesignHeight = 720;
constexpr double kNarrowestWidth = 600;

// Told apart from each other and from the best and average lines, also when printed grey.
const QColor kDriverPalette[] = {
    {0x1F, 0x5F, 0xBF}, {0xD6, 0x27, 0x28}, {0x94, 0x67, 0xBD},
    {0x17, 0xA2, 0xB8}, {0x8C, 0x56, 0x4B}, {0xE3, 0x77, 0xC2},
};
// The lap line of a log with stints, under the drivers' points.
const QColor kStintLineColor{0xA0, 0xA0, 0xA0};

/// 1, 2 or 5 times a power of ten, so that span holds about `ticks` steps.
double niceStep(double span, int ticks)
{
    const double raw = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

QFont chartFont(double pixels, bool bold = false)
{
    QFont f;
    // The Japanese Gothic faces that the setup installs, then the others a desktop may have.
    f.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP"),
                   QStringLiteral("VL PGothic"), QStringLiteral("Droid Sans Fallback")});
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    f.setBold(bold);
    return f;
}

} // namespace

QColor LapChart::driverColor(qsizetype index)
{
    return kDriverPalette[index % qsizetype(std::size(kDriverPalette))];
}

QList<LapChart::LegendItem> LapChart::legendItems() const
{
    if (!m_stints) {
        return {{QStringLiteral("ラップタイム"), kLapColor, Qt::SolidLine, true},
                {QStringLiteral("平均より遅い周"), kOverColor, Qt::NoPen, true},
                {QStringLiteral("ベスト"), kBestColor, Qt::SolidLine, false},
                {QStringLiteral("平均"), kAverageColor, Qt::DashLine, false}};
    }
    QList<LegendItem> items;
    for (qsizetype i = 0; i < m_drivers.size(); ++i) {
        const QString& name = m_drivers.at(i);
        items.append({name.isEmpty() ? QStringLiteral("ドライバー名なし") : name, driverColor(i), Qt::NoPen, true});
    }
    items.append({QStringLiteral("イン・アウトラップ"), kPitColor, Qt::NoPen, false, true});
    items.append({QStringLiteral("ベスト"), kBestColor, Qt::SolidLine, false});
    items.append({QStringLiteral("平均"), kAverageColor, Qt::DashLine, false});
    return items;
}

LapChart::LapChart(QList<LapEntry> laps, QSize size) : m_laps(std::move(laps)), m_size(size)
{
    for (const LapEntry& e : m_laps) {
        m_stints = m_stints || e.stint > 0;
        if (e.stint > 0 && !m_drivers.contains(e.driver))
            m_drivers.append(e.driver);
    }
    if (m_laps.isEmpty())
        return;
    double lapLo = m_laps.first().lap, lapHi = lapLo;
    double msLo = m_laps.first().lapMs, msHi = msLo;
    for (const LapEntry& e : m_laps) {
        lapLo = std::min<double>(lapLo, e.lap);
        lapHi = std::max<double>(lapHi, e.lap);
        for (double v : {double(e.lapMs), double(e.bestMs), double(e.averageMs)}) {
            msLo = std::min(msLo, v);
            msHi = std::max(msHi, v);
        }
    }
    // Half a lap either side keeps the first and last points off the axes.
    m_lapFrom = lapLo - 0.5;
    m_lapTo = lapHi + 0.5;
    m_lapStep = std::max(1.0, niceStep(m_lapTo - m_lapFrom, 10));
    const double pad = std::max(500.0, (msHi - msLo) * 0.05);
    m_msStep = niceStep(msHi - msLo + 2 * pad, 6);
    m_msFrom = std::floor((msLo - pad) / m_msStep) * m_msStep;
    m_msTo = std::ceil((msHi + pad) / m_msStep) * m_msStep;
}

double LapChart::unit() const
{
    return std::min(m_size.height() / kDesignHeight, m_size.width() / kNarrowestWidth);
}

QString LapChart::subtitle() const
{
    if (m_laps.isEmpty())
        return {};
    const LapEntry& last = m_laps.last();
    return QStringLiteral("%1周　ベスト %2　平均 %3")
        .arg(m_laps.size())
        .arg(Fmt_LapMilli(int32_t(last.bestMs)), Fmt_LapMilli(int32_t(last.averageMs)));
}

LapChart::Header LapChart::header() const
{
    const double u = unit();
    const QRectF a = plotArea();
    Header h;
    h.title = QRectF(a.left(), 12 * u, QFontMetricsF(chartFont(30 * u, true)).horizontalAdvance(QStringLiteral("ラップタイム推移")), 40 * u);
    h.subtitle = QRectF(a.left(), 54 * u, QFontMetricsF(chartFont(18 * u)).horizontalAdvance(subtitle()), 28 * u);

    // An entry is a sample 28 wide, a gap of 8 and its name; entries stand 22 apart.
    const QFontMetricsF names(chartFont(15 * u));
    QList<double> widths;
    for (const LegendItem& item : legendItems())
        widths << 36 * u + names.horizontalAdvance(item.text);
    const auto span = [&](qsizetype from, qsizetype to) {
        double w = 0;
        for (qsizetype i = from; i < to; ++i)
            w += widths[i] + (i > from ? 22 * u : 0);
        return w;
    };
    // Beside the subtitle as many entries as fit, in order; the rest on a row below it.
    const double besideFrom = h.subtitle.isEmpty() ? a.left() : h.subtitle.right() + 24 * u;
    qsizetype beside = widths.size();
    while (beside > 0 && span(0, beside) > a.right() - besideFrom)
        --beside;
    const auto place = [&](qsizetype from, qsizetype to, double y) {
        double x = a.right() - span(from, to);
        for (qsizetype i = from; i < to; ++i) {
            h.legend << QRectF(x, y - 12 * u, widths[i], 24 * u);
            x += widths[i] + 22 * u;
        }
    };
    place(0, beside, 68 * u);
    place(beside, widths.size(), 96 * u);
    return h;
}

QRectF LapChart::plotArea() const
{
    const double u = unit();
    return QRectF(QPointF(130 * u, 110 * u), QPointF(m_size.width() - 40 * u, m_size.height() - 80 * u));
}

QPointF LapChart::pointAt(double lap, double ms) const
{
    const QRectF a = plotArea();
    return {a.left() + (lap - m_lapFrom) / (m_lapTo - m_lapFrom) * a.width(),
            a.bottom() - (ms - m_msFrom) / (m_msTo - m_msFrom) * a.height()};
}

void LapChart::paint(QPainter& p) const
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(QPoint(0, 0), m_size), Qt::white);
    paintFrame(p);
    if (!m_laps.isEmpty())
        paintSeries(p);
    paintLegend(p);
    p.restore();
}

void LapChart::paintFrame(QPainter& p) const
{
    const double u = unit();
    const QRectF a = plotArea();
    p.setPen(Qt::black);
    const Header h = header();
    p.setFont(chartFont(30 * u, true));
    p.drawText(QRectF(a.left(), 12 * u, a.width(), 40 * u), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("ラップタイム推移"));
    p.setFont(chartFont(18 * u));
    p.drawText(h.subtitle, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, subtitle());

    const QColor grid(0xDD, 0xDD, 0xDD);
    p.setFont(chartFont(15 * u));
    for (double ms = m_msFrom; ms <= m_msTo + m_msStep / 2; ms += m_msStep) {
        const double y = pointAt(m_lapFrom, ms).y();
        p.setPen(QPen(grid, 1 * u));
        p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - 12 * u, a.left() - 10 * u, 24 * u), Qt::AlignRight | Qt::AlignVCenter,
                   Fmt_LapMilli(int32_t(std::lround(ms))));
    }
    for (double lap = std::ceil(m_lapFrom / m_lapStep) * m_lapStep; lap <= m_lapTo; lap += m_lapStep) {
        const double x = pointAt(lap, m_msFrom).x();
        p.setPen(QPen(grid, 1 * u));
        p.drawLine(QPointF(x, a.top()), QPointF(x, a.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 40 * u, a.bottom() + 6 * u, 80 * u, 24 * u), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(qint64(lap)));
    }
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5 * u));
    p.setBrush(Qt::NoBrush);
    p.drawRect(a);

    p.setPen(Qt::black);
    p.setFont(chartFont(18 * u));
    p.drawText(QRectF(a.left(), a.bottom() + 34 * u, a.width(), 30 * u), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("周回"));
    p.save();
    p.translate(22 * u, a.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-a.height() / 2, -15 * u, a.height(), 30 * u), Qt::AlignCenter, QStringLiteral("ラップタイム"));
    p.restore();
}

void LapChart::paintSeries(QPainter& p) const
{
    const double u = unit();
    const auto line = [&](auto value) {
        QPainterPath path(pointAt(m_laps.first().lap, double(value(m_laps.first()))));
        for (const LapEntry& e : m_laps)
            path.lineTo(pointAt(e.lap, double(value(e))));
        return path;
    };
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kBestColor, 2.5 * u));
    p.drawPath(line([](const LapEntry& e) { return e.bestMs; }));
    p.setPen(QPen(kAverageColor, 2.5 * u, Qt::DashLine));
    p.drawPath(line([](const LapEntry& e) { return e.averageMs; }));
    p.setPen(QPen(m_stints ? kStintLineColor : kLapColor, 1.5 * u));
    p.drawPath(line([](const LapEntry& e) { return e.lapMs; }));

    // The points last, over every line, the slower laps larger: in red, or with stints in
    // their driver's colour, the in- and out-laps ringed.
    for (const LapEntry& e : m_laps) {
        const bool over = overAverage(e);
        const QPointF at = pointAt(e.lap, double(e.lapMs));
        const double r = (over ? 7 : 5) * u;
        p.setPen(Qt::NoPen);
        if (m_stints)
            p.setBrush(driverColor(m_drivers.indexOf(e.driver)));
        else
            p.setBrush(over ? kOverColor : kLapColor);
        p.drawEllipse(at, r, r);
        if (m_stints && e.pitLap()) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(kPitColor, 2.5 * u));
            p.drawEllipse(at, r + 4 * u, r + 4 * u);
        }
    }
}

void LapChart::paintLegend(QPainter& p) const
{
    const double u = unit();
    p.setFont(chartFont(15 * u));
    const QList<QRectF> at = header().legend;
    const QList<LegendItem> items = legendItems();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const LegendItem& item = items.at(i);
        const QRectF& r = at.at(i);
        const double y = r.center().y();
        if (item.style != Qt::NoPen) {
            p.setPen(QPen(item.color, 2.5 * u, item.style));
            p.drawLine(QPointF(r.left(), y), QPointF(r.left() + 28 * u, y));
        }
        if (item.point) {
            p.setPen(Qt::NoPen);
            p.setBrush(item.color);
            p.drawEllipse(QPointF(r.left() + 14 * u, y), 5 * u, 5 * u);
        }
        if (item.ring) {
            p.setPen(QPen(item.color, 2 * u));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(r.left() + 14 * u, y), 9 * u, 9 * u);
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(r.left() + 36 * u, r.top(), r.width() - 34 * u, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   item.text);
    }
}
