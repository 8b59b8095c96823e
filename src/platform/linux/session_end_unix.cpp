#include "platform/session_end.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP};

int g_signalWrite = -1;

// Only async-signal-safe work here: the window thread's event loop picks the byte up.
void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalWrite, &byte, 1);
    errno = saved;
}

} // namespace

struct SessionEnd::Private {
    std::function<void()> end;
    int fds[2] = {-1, -1};
    struct sigaction previous[std::size(kSignals)] = {};
    bool tried = false;      ///< the handlers were set, and the dispositions before are kept
    bool installed = false;  ///< every handler was set
    std::unique_ptr<QSocketNotifier> notifier;
};

SessionEnd::SessionEnd(std::function<void()> end, std::function<void()>) : d(std::make_unique<Private>())
{
    d->end = std::move(end);
    // Linux lets a process finish its work after SIGTERM: the end runs through the event loop
    // like End, so nothing needs saving from inside the handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, d->fds) != 0)
        return;
    g_signalWrite = d->fds[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // A second request of the same kind ends the process at once, as it would have without us.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    d->tried = true;
    bool ok = true;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ok = ::sigaction(kSignals[i], &action, &d->previous[i]) == 0 && ok;
    d->installed = ok;
    d->notifier = std::make_unique<QSocketNotifier>(d->fds[0], QSocketNotifier::Read);
    QObject::connect(d->notifier.get(), &QSocketNotifier::activated, d->notifier.get(), [this] {
        char bytes[16];
        ssize_t n = 0;
        int requests = 0;
        while ((n = ::read(d->fds[0], bytes, sizeof bytes)) > 0)
            requests += int(n);
        for (int i = 0; i < requests && d->end; ++i)
            d->end();
    });
}

SessionEnd::~SessionEnd()
{
    for (std::size_t i = 0; i < std::size(kSignals) && d->tried; ++i)
        ::sigaction(kSignals[i], &d->previous[i], nullptr);
    d->notifier.reset();
    if (g_signalWrite == d->fds[1])
        g_signalWrite = -1;
    for (const int fd : d->fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool SessionEnd::watching() const
{
    return d->installed;
}
