#include "address_guard.h"
#include "console_events.h"
#include "host_simulator.h"
#include "sim_options.h"

#include "platform/session_end.h"
#include "platform/terminal.h"

#include <QCoreApplication>
#include <QUdpSocket>

#include <cstdio>
#include <optional>

namespace {

void writeLine(FILE* stream, const QString& text)
{
    writeToTerminal(stream, text + u'\n');
}

int sendOnce(const SimOptions& options)
{
    QUdpSocket socket;
    QString error;
    if (!AddressGuard::send(socket, *options.sendBytes, options.clientAddress, quint16(options.toPort),
                            options.allowLan, &error)) {
        writeLine(stderr, QStringLiteral("rivect-hostsim: ") + error);
        return 1;
    }
    writeLine(stdout, QStringLiteral("sent %1 bytes to %2:%3")
                          .arg(options.sendBytes->size()).arg(options.clientAddress.toString()).arg(options.toPort));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rivect-hostsim"));

    const OptionsResult parsed = parseSimOptions(QCoreApplication::arguments());
    if (parsed.help) {
        writeLine(stdout, helpText());
        return 0;
    }
    if (!parsed.options) {
        writeLine(stderr, QStringLiteral("rivect-hostsim: %1\nTry 'rivect-hostsim --help'.").arg(parsed.error));
        return 2;
    }
    const SimOptions& options = *parsed.options;
    if (options.sendBytes)
        return sendOnce(options);

    ConsoleEvents console;
    if (!console.watchEndRequests()) {
        writeLine(stderr, QStringLiteral("rivect-hostsim: cannot install the signal handlers"));
        return 1;
    }
    HostSimulator simulator(options);
    QObject::connect(&simulator.reporter(), &Reporter::line, [](const QString& line) { writeLine(stdout, line); });
    QObject::connect(&simulator, &HostSimulator::finished, &app, [](int code) { QCoreApplication::exit(code); });

    // However the run ends, its summary is written once, and a closing console that holds the
    // process for it is let go right after.
    std::optional<int> exitStatus;
    const auto finishRun = [&](int code) {
        if (!exitStatus) {
            exitStatus = simulator.finish(code);
            console.endWritten();
        }
        return *exitStatus;
    };
    const auto endRun = [&simulator](const QString& reason, const QString& readable) {
        simulator.reporter().event(QStringLiteral("end"), 0, {{QStringLiteral("reason"), reason}}, readable);
        QCoreApplication::exit(0);
    };
    QObject::connect(&console, &ConsoleEvents::endRequested, &app, [&endRun] {
        endRun(QStringLiteral("signal"), QStringLiteral("signal received, ending"));
    });
    // Logging off and shutting down (on Windows a console program that loads user32, as Qt
    // does, hears of them only through a window), SIGTERM and SIGHUP. Windows ends the process
    // once it has been answered, so the summary is written before that.
    const SessionEnd sessionEnd(
        [&endRun] {
#ifdef Q_OS_WIN
            endRun(QStringLiteral("session"), QStringLiteral("end of session received, ending"));
#else
            // The reason readers of the events have always seen for a termination signal.
            endRun(QStringLiteral("signal"), QStringLiteral("signal received, ending"));
#endif
        },
        [&finishRun] { finishRun(0); });
    if (!sessionEnd.watching())
        writeLine(stderr, QStringLiteral("rivect-hostsim: the end of the session cannot be caught; it ends the run "
                                         "without a summary"));

    // Commands arrive a line at a time.
    QByteArray pending;
    QObject::connect(&console, &ConsoleEvents::input, &app, [&](const QByteArray& bytes) {
        pending.append(bytes);
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            simulator.executeLine(line);
        }
    });
    if (options.readStdin)
        console.readInput();

    QString error;
    if (!simulator.start(&error)) {
        writeLine(stderr, QStringLiteral("rivect-hostsim: ") + error);
        return 1;
    }
    return finishRun(app.exec());
}
