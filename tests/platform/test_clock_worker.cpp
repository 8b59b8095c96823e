// The thread that sets the clock: requests in order, a waiting one replaced by a newer, the
// time now() reads while one waits, and a run's first refusal told.
#include "platform/clock_worker.h"

#include <QTest>

#include <condition_variable>
#include <mutex>

class ClockWorkerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aNewerRequestReplacesTheWaitingOne()
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        QList<qint64> seen;
        ClockWorker worker([&](qint64 msecUtc, QString&) {
            std::unique_lock lock(mutex);
            seen.append(msecUtc);
            changed.notify_all();
            changed.wait(lock, [&] { return open; });
            return true;
        });
        worker.post(1000);
        {
            std::unique_lock lock(mutex);
            QVERIFY(changed.wait_for(lock, std::chrono::seconds(5), [&] { return seen.size() == 1; }));
        }
        // The first is being carried out; of the two asked meanwhile only the newer is.
        worker.post(2000);
        worker.post(3000);
        // The newest request, counted from when it was asked, whatever the clock shows meanwhile.
        const std::optional<qint64> pending = worker.pendingMsecUtc();
        QVERIFY(pending && *pending >= 3000 && *pending < 3000 + 5000);
        QVERIFY(!worker.waitUntilSettled(50));
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        changed.notify_all();
        QVERIFY(worker.waitUntilSettled(5000));
        QVERIFY(!worker.pendingMsecUtc());
        QVERIFY(!worker.lastRefused());
        std::lock_guard lock(mutex);
        QCOMPARE(seen.size(), 2);
        // Each target is later by the time it waited for its turn.
        QVERIFY(seen[0] >= 1000 && seen[0] < 1000 + 5000);
        QVERIFY(seen[1] >= 3050 && seen[1] < 3000 + 10000);
    }

    void onlyTheFirstRefusalOfARunIsTold()
    {
        std::mutex mutex;
        QStringList lines;
        ClockWorker worker(
            [](qint64, QString& reason) {
                reason = QStringLiteral("no right to change the system time");
                return false;
            },
            [&](const QString& line) {
                std::lock_guard lock(mutex);
                lines.append(line);
            });
        const auto refuse = [&] {
            worker.post(3'600'000);
            QVERIFY(worker.waitUntilSettled(5000));
            QVERIFY(worker.lastRefused());
            QVERIFY(!worker.pendingMsecUtc());  // a refused setting is not about to happen
        };
        refuse();
        refuse();
        worker.beginRun();
        refuse();
        std::lock_guard lock(mutex);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(QLatin1String("no right to change the system time")), qPrintable(lines[0]));
    }
};

QTEST_GUILESS_MAIN(ClockWorkerTest)
#include "test_clock_worker.moc"
