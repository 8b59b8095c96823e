#include "laps_tool.h"

#include "lap_chart.h"
#include "lap_summary.h"
#include "svg_output.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTextStream>

namespace {

const QString kHelp = QStringLiteral(
    "Usage: rivect-laps FILE.csv [-o OUT.png|OUT.svg] [--size WxH] [--summary]\n"
    "\n"
    "Draws the debrief chart of one run from the lap log that `rivect --lap-log DIR` writes:\n"
    "lap time against lap number, the best and the average lap as lines, the laps slower\n"
    "than the average marked in red. Titles and axes are in Japanese. A log written with\n"
    "--stints colours the laps by driver and marks the in- and out-laps of each stop.\n"
    "\n"
    "  -o, --output OUT   the chart to write; its suffix chooses the format (.png or .svg)\n"
    "  --size WxH         size in pixels (default 1280x720)\n"
    "  --summary          prints per driver the laps, driving time (the sum of their laps),\n"
    "                     best and average lap (in- and out-laps left out), then the stops;\n"
    "                     for a log without stints, the run's laps, best and average\n"
    "  -h, --help         this text\n");

constexpr int kMinSide = 200;
constexpr int kMaxSide = 8000;

bool writeChart(const LapChart& chart, const QString& path, QString& why)
{
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive))
        return writeSvgChart(chart, path, why);
    QImage image(chart.size(), QImage::Format_RGB32);
    {
        QPainter p(&image);
        chart.paint(p);
    }
    if (!image.save(path, "PNG")) {
        why = QStringLiteral("cannot write %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

} // namespace

int runLapsTool(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QString input, output;
    QSize size(1280, 720);
    bool summary = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            out << kHelp;
            return 0;
        }
        if (a == QLatin1String("--summary")) {
            summary = true;
            continue;
        }
        if (a == QLatin1String("-o") || a == QLatin1String("--output") || a == QLatin1String("--size")) {
            if (++i >= arguments.size()) {
                err << "rivect-laps: " << a << " needs a value\n";
                return 2;
            }
            if (a == QLatin1String("--size")) {
                const auto m = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(arguments.at(i));
                size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
                if (size.width() < kMinSide || size.height() < kMinSide || size.width() > kMaxSide
                    || size.height() > kMaxSide) {
                    err << "rivect-laps: --size expects WxH, each " << kMinSide << " to " << kMaxSide << "\n";
                    return 2;
                }
            } else {
                output = arguments.at(i);
            }
        } else if (a.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            err << "rivect-laps: unexpected argument '" << a << "' (see --help)\n";
            return 2;
        } else {
            input = a;
        }
    }
    if (input.isEmpty() || (output.isEmpty() && !summary)) {
        err << "rivect-laps: a lap log and -o OUT or --summary are needed (see --help)\n";
        return 2;
    }
    const QString suffix = QFileInfo(output).suffix().toLower();
    if (!output.isEmpty() && suffix != QLatin1String("png") && suffix != QLatin1String("svg")) {
        err << "rivect-laps: the output must end in .png or .svg\n";
        return 2;
    }

    // Paths are told the way the system writes them, whichever separator was typed.
    const QString shownInput = QDir::toNativeSeparators(input);
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "rivect-laps: cannot read " << shownInput << ": " << file.errorString() << "\n";
        return 1;
    }
    const LapTable table = readLapTable(file.readAll());
    if (!table.error.isEmpty() || table.laps.isEmpty()) {
        err << "rivect-laps: " << shownInput << ": " << (table.error.isEmpty() ? QStringLiteral("no laps") : table.error)
            << "\n";
        return 1;
    }
    if (!table.warning.isEmpty())
        err << "rivect-laps: " << shownInput << ": warning: " << table.warning << "\n";
    if (summary)
        out << summaryText(summarize(table), table.stints);
    QString why;
    if (!output.isEmpty() && !writeChart(LapChart(table.laps, size), output, why)) {
        err << "rivect-laps: " << why << "\n";
        return 1;
    }
    return 0;
}
