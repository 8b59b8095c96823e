#pragma once

#include <QString>

class LapChart;

/// Writes chart as SVG to path; false with the reason in why when it cannot (a build without
/// Qt's SVG module writes PNG only).
bool writeSvgChart(const LapChart& chart, const QString& path, QString& why);
