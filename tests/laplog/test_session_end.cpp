// Requests from outside to end the program (a termination signal, the end of the session):
// each reaches the window thread as a call to end and the process lives on to end through its
// own path; where the system ends the process once it has been answered, the save runs first.
#include "end_requests.h"
#include "platform/session_end.h"

#include <QTest>
#include <QThread>

class SessionEndTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestEndsThroughTheWindowThread_data()
    {
        QTest::addColumn<int>("index");
        const QList<EndRequest> requests = endRequests();
        for (int i = 0; i < requests.size(); ++i)
            QTest::newRow(requests[i].name) << i;
    }

    void requestEndsThroughTheWindowThread()
    {
        QFETCH(int, index);
        const EndRequest request = endRequests().at(index);
        int ends = 0;
        int saves = 0;
        bool elsewhere = false;
        bool savedBeforeEnd = false;
        QThread* const window = QThread::currentThread();
        const SessionEnd watch(
            [&] {
                ++ends;
                elsewhere = elsewhere || QThread::currentThread() != window;
            },
            [&] {
                ++saves;
                savedBeforeEnd = savedBeforeEnd || ends == 0;
            });
        QVERIFY(watch.watching());
        QVERIFY(request.ask());
        // Before the event loop has run once more: what the system waits for is done.
        QCOMPARE(saves, request.savesAtOnce ? 1 : 0);
        QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 60000);
        QVERIFY(!elsewhere);
        QVERIFY(!savedBeforeEnd);
    }
};

QTEST_GUILESS_MAIN(SessionEndTest)
#include "test_session_end.moc"
