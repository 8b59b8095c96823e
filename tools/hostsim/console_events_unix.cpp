#include "console_events.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop picks the byte up.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

struct ConsoleEvents::Private {
    std::unique_ptr<QSocketNotifier> signalNotifier;
    std::unique_ptr<QSocketNotifier> stdinNotifier;
};

ConsoleEvents::ConsoleEvents() : d(std::make_unique<Private>()) {}

ConsoleEvents::~ConsoleEvents() = default;

bool ConsoleEvents::watchEndRequests()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Ctrl+C in the terminal; SIGTERM and SIGHUP are the session's, which main() watches.
    if (::sigaction(SIGINT, &action, nullptr) != 0)
        return false;
    d->signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    connect(d->signalNotifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        Q_EMIT endRequested();
    });
    return true;
}

void ConsoleEvents::readInput()
{
    d->stdinNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(d->stdinNotifier.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        // At the end of input (a closed pipe, /dev/null) stop watching.
        if (n <= 0) {
            d->stdinNotifier->setEnabled(false);
            return;
        }
        Q_EMIT input(QByteArray(buffer, n));
    });
}

// A closed terminal sends SIGHUP, which lets the process end at its own pace: nothing holds it.
void ConsoleEvents::endWritten() {}
