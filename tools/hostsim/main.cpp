#include "address_guard.h"
#include "host_simulator.h"
#include "sim_options.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QUdpSocket>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop picks the byte up and ends the run.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void writeLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
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

bool installSignalHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
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

    if (!installSignalHandlers()) {
        writeLine(stderr, QStringLiteral("rivect-hostsim: cannot install the signal handlers"));
        return 1;
    }
    HostSimulator simulator(options);
    QObject::connect(&simulator.reporter(), &Reporter::line, [](const QString& line) { writeLine(stdout, line); });
    QObject::connect(&simulator, &HostSimulator::finished, &app, [](int code) { QCoreApplication::exit(code); });

    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&simulator] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        simulator.reporter().event(QStringLiteral("end"), 0, {{QStringLiteral("reason"), QStringLiteral("signal")}},
                                   QStringLiteral("signal received, ending"));
        QCoreApplication::exit(0);
    });

    // Commands arrive a line at a time; at end of input (a closed pipe, /dev/null) stop watching.
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    stdinNotifier.setEnabled(options.readStdin);
    QByteArray pending;
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinNotifier.setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            simulator.executeLine(line);
        }
    });

    QString error;
    if (!simulator.start(&error)) {
        writeLine(stderr, QStringLiteral("rivect-hostsim: ") + error);
        return 1;
    }
    return simulator.finish(app.exec());
}
