#include "svg_output.h"

#include "lap_chart.h"

#include <QPainter>
#include <QSvgGenerator>

bool writeSvgChart(const LapChart& chart, const QString& path, QString& why)
{
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(chart.size());
    svg.setViewBox(QRect(QPoint(0, 0), chart.size()));
    svg.setTitle(QStringLiteral("ラップタイム推移"));
    QPainter p;
    if (!p.begin(&svg)) {
        why = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    chart.paint(p);
    return p.end();
}
