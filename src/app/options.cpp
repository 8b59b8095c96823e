#include "options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

AppOptions parseAppOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Pit-side lap-timing client. Without options it opens its window as the screen's width\n"
        "chooses and keeps no files but its settings and driver messages.\n"
        "With --fill, F11 in the client window switches between filling the screen and the exact layout."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption fill(QStringLiteral("fill"),
                                  QStringLiteral("Scale the client window, fonts included, to the largest size "
                                                 "that fits the screen, centred (F11 switches back and forth)."));
    const QCommandLineOption lapLog(QStringLiteral("lap-log"),
                                    QStringLiteral("Keep every lap: each run from Start to Stop writes "
                                                   "<dir>/<yyyy-MM-dd_HHmmss>_<car>.csv (UTF-8 CSV; the folder "
                                                   "is created when missing). rivect-laps draws it as a chart."),
                                    QStringLiteral("dir"));
    parser.addOption(fill);
    parser.addOption(lapLog);
    parser.process(app);

    AppOptions options;
    options.fill = parser.isSet(fill);
    options.lapLogFolder = parser.value(lapLog);
    if (parser.isSet(lapLog) && options.lapLogFolder.isEmpty()) {
        std::fputs("rivect: --lap-log needs a folder\n", stderr);
        std::exit(EXIT_FAILURE);
    }
    return options;
}
