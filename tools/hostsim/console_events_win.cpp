#include "console_events.h"

#include <QCoreApplication>
#include <QPointer>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// Shared with the control handler, which runs on a thread the system starts for each event and
// may still be waiting while the process ends: plain data that is never destroyed.
SRWLOCK g_lock = SRWLOCK_INIT;
ConsoleEvents* g_endTarget = nullptr;  // guarded by g_lock
HANDLE g_endWritten = nullptr;         // manual-reset event, made once and never closed

BOOL WINAPI onConsoleControl(DWORD type)
{
    // Ctrl+C and Ctrl+Break leave the process alone once handled: its own end comes later.
    // After a closed console, a logoff or a shutdown Windows ends the process as soon as the
    // handler returns (after 5 seconds at the latest), so the handler holds it until the
    // summary is written, and gives up in time if the run cannot end.
    const bool systemEnds = type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    if (!systemEnds && type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    AcquireSRWLockShared(&g_lock);
    ConsoleEvents* const target = g_endTarget;
    // Posted under the lock, so the object cannot go while the call is queued; a call still
    // queued when it goes is dropped with it.
    if (target) {
        QMetaObject::invokeMethod(target, [target] { Q_EMIT target->endRequested(); }, Qt::QueuedConnection);
    }
    ReleaseSRWLockShared(&g_lock);
    if (!target)
        return FALSE;
    if (systemEnds)
        WaitForSingleObject(g_endWritten, ConsoleEvents::kEndWaitMs);
    return TRUE;
}

} // namespace

struct ConsoleEvents::Private {
    bool watching = false;
    // Shared with the reader, which may outlive this object when its read cannot be cancelled.
    std::shared_ptr<std::atomic<bool>> stopping = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<DWORD>> readerId = std::make_shared<std::atomic<DWORD>>(0);
    std::thread reader;
};

ConsoleEvents::ConsoleEvents() : d(std::make_unique<Private>()) {}

ConsoleEvents::~ConsoleEvents()
{
    if (d->watching) {
        AcquireSRWLockExclusive(&g_lock);
        if (g_endTarget == this)
            g_endTarget = nullptr;
        ReleaseSRWLockExclusive(&g_lock);
        // Nothing more will be written through this object. A handler still waiting is let go
        // first: removing the handler waits for the handlers that are running.
        SetEvent(g_endWritten);
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
    }
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
    AcquireSRWLockExclusive(&g_lock);
    if (!g_endWritten)
        g_endWritten = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    else
        ResetEvent(g_endWritten);
    if (g_endWritten)
        g_endTarget = this;
    ReleaseSRWLockExclusive(&g_lock);
    d->watching = g_endWritten && SetConsoleCtrlHandler(onConsoleControl, TRUE);
    if (!d->watching) {
        AcquireSRWLockExclusive(&g_lock);
        if (g_endTarget == this)
            g_endTarget = nullptr;
        ReleaseSRWLockExclusive(&g_lock);
    }
    return d->watching;
}

void ConsoleEvents::endWritten()
{
    AcquireSRWLockShared(&g_lock);
    if (g_endWritten && g_endTarget == this)
        SetEvent(g_endWritten);
    ReleaseSRWLockShared(&g_lock);
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
