// The simulator's console handler as Windows drives it: for each control event the system starts
// a thread at kernel32's CtrlRoutine, which calls the handlers from the last registered until one
// takes the event, else the default one, which ends the process. Wine's consoles never send the
// close event (closing one ends its processes outright), so the test starts that thread itself.
#include "console_events.h"

#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> g_passedOn = 0;

// Registered before the simulator's handler, so called after it: an event it does not take
// lands here instead of in the default handler, which would end the test's process.
BOOL WINAPI backstop(DWORD)
{
    ++g_passedOn;
    return TRUE;
}

} // namespace

class TestHostsimConsoleClose : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eventThatEndsTheProcessWaitsForTheSummary_data();
    void eventThatEndsTheProcessWaitsForTheSummary();
};

void TestHostsimConsoleClose::eventThatEndsTheProcessWaitsForTheSummary_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<bool>("runEnds");
    QTest::newRow("console closed") << int(CTRL_CLOSE_EVENT) << true;
    QTest::newRow("logoff") << int(CTRL_LOGOFF_EVENT) << true;
    QTest::newRow("shutdown") << int(CTRL_SHUTDOWN_EVENT) << true;
    // The window thread is busy and cannot end the run: the handler gives up rather than hang.
    QTest::newRow("run cannot end") << int(CTRL_CLOSE_EVENT) << false;
}

void TestHostsimConsoleClose::eventThatEndsTheProcessWaitsForTheSummary()
{
    QFETCH(int, event);
    QFETCH(bool, runEnds);
    using ControlThread = DWORD(WINAPI*)(void*);
    const auto ctrlRoutine = reinterpret_cast<ControlThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
    if (!ctrlRoutine)
        QSKIP("kernel32 has no CtrlRoutine to start the control thread at");

    g_passedOn = 0;
    QVERIFY(SetConsoleCtrlHandler(backstop, TRUE));
    const auto removeBackstop = qScopeGuard([] { SetConsoleCtrlHandler(backstop, FALSE); });
    ConsoleEvents console;
    QVERIFY(console.watchEndRequests());
    std::atomic<bool> written = false;
    int requests = 0;
    connect(&console, &ConsoleEvents::endRequested, &console, [&] {
        ++requests;
        // Writing the summary takes a moment: a handler that does not wait is back before it.
        QTimer::singleShot(200, &console, [&] {
            written = true;
            console.endWritten();
        });
    });

    std::atomic<bool> returned = false;
    std::atomic<bool> writtenOnReturn = false;
    std::thread control([&] {
        ctrlRoutine(reinterpret_cast<void*>(DWORD_PTR(event)));
        writtenOnReturn = written.load();
        returned = true;
    });
    if (runEnds)
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 60000);
    // Without the event loop the run cannot end: join returns only if the handler gives up.
    control.join();
    QCOMPARE(g_passedOn.load(), 0);
    QCOMPARE(writtenOnReturn.load(), runEnds);
    QTRY_COMPARE(requests, 1);
}

QTEST_GUILESS_MAIN(TestHostsimConsoleClose)
#include "test_hostsim_console_close.moc"
