#include "console_events.h"

#include <QCoreApplication>
#include <QPointer>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

QPointer<ConsoleEvents> g_endTarget;

// Runs on a thread the system starts for the event; the run ends on the object's own thread.
BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {
        if (g_endTarget)
            Q_EMIT g_endTarget->endRequested();
    }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

struct ConsoleEvents::Private {
    // Shared with the reader, which may outlive this object when its read cannot be cancelled.
    std::shared_ptr<std::atomic<bool>> stopping = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<DWORD>> readerId = std::make_shared<std::atomic<DWORD>>(0);
    std::thread reader;
};

ConsoleEvents::ConsoleEvents() : d(std::make_unique<Private>()) {}

ConsoleEvents::~ConsoleEvents()
{
    if (g_endTarget == this)
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
    if (d->reader.joinable()) {
        // The reader waits in ReadFile; a console or pipe read is cancelled, and a reader that
        // cannot be woken is left to the end of the process.
        *d->stopping = true;
        bool cancelled = false;
        if (const HANDLE thread = OpenThread(THREAD_TERMINATE, FALSE, d->readerId->load())) {
            cancelled = CancelSynchronousIo(thread) != 0;
            CloseHandle(thread);
        }
        if (cancelled)
            d->reader.join();
        else
            d->reader.detach();
    }
}

bool ConsoleEvents::watchEndRequests()
{
    g_endTarget = this;
    return SetConsoleCtrlHandler(onConsoleControl, TRUE) != 0;
}

void ConsoleEvents::readInput()
{
    // Windows has no readiness notice for a console or pipe handle: a thread of its own waits
    // in ReadFile and hands each chunk to this object's thread.
    QPointer<ConsoleEvents> self(this);
    d->reader = std::thread([self, stopping = d->stopping, readerId = d->readerId] {
        readerId->store(GetCurrentThreadId());
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        char buffer[4096];
        DWORD n = 0;
        while (!stopping->load() && ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            const QByteArray bytes(buffer, qsizetype(n));
            if (stopping->load())
                break;
            QMetaObject::invokeMethod(QCoreApplication::instance(), [self, bytes] {
                if (self)
                    Q_EMIT self->input(bytes);
            }, Qt::QueuedConnection);
        }
    });
}
