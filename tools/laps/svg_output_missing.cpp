#include "svg_output.h"

bool writeSvgChart(const LapChart&, const QString& path, QString& why)
{
    why = QStringLiteral("cannot write %1: this build writes PNG only (it has no SVG module)").arg(path);
    return false;
}
