#include "laps_tool.h"

#include "platform/terminal.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // The chart is drawn into files only: no display is needed, whatever the session has.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Gathered first and printed through writeToTerminal, so that a Windows console shows the
    // Japanese of a file name whatever its code page.
    QString outText;
    QString errText;
    int status = 0;
    {
        QTextStream out(&outText);
        QTextStream err(&errText);
        status = runLapsTool(QCoreApplication::arguments(), out, err);
    }
    writeToTerminal(stdout, outText);
    writeToTerminal(stderr, errText);
    return status;
}
