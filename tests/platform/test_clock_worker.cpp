// The thread that sets the clock: requests in order, a waiting one replaced by a newer, the
// time now() reads while one waits, and a run's first refusal told.
#include "platform/clock_worker.h"
#include "platform/worker_clock.h"

#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

/// Holds the clock's thread inside a setting until the test opens it, so that what is read
/// while a setting is on its way does not depend on how fast the thread is.
class Gate {
public:
    /// Called by the setter: waits until the gate is opened.
    void pass()
    {
        std::unique_lock lock(m_mutex);
        m_held = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        m_held = false;
        m_open = false;
    }
    /// Waits until a setter is held at the gate.
    bool waitUntilHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_held; });
    }
    /// Lets the held setter go on.
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_open = false;
};

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
        Gate gate;
        std::mutex mutex;
        QStringList lines;
        ClockWorker worker(
            [&](qint64, QString& reason) {
                gate.pass();
                reason = QStringLiteral("no right to change the system time");
                return false;
            },
            [&](const QString& line) {
                std::lock_guard lock(mutex);
                lines.append(line);
            });
        const auto refuse = [&] {
            worker.post(3'600'000);
            // Asked and not yet answered, it is the time about to be on the clock; once refused
            // it is not.
            QVERIFY(gate.waitUntilHeld());
            const std::optional<qint64> pending = worker.pendingMsecUtc();
            gate.open();
            QVERIFY(worker.waitUntilSettled(5000));
            QVERIFY(pending && *pending >= 3'600'000);
            QVERIFY(worker.lastRefused());
        };
        refuse();
        refuse();
        worker.beginRun();
        refuse();
        std::lock_guard lock(mutex);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(QLatin1String("no right to change the system time")), qPrintable(lines[0]));
    }

    // A host report asks for the date, then for the time of day on the date now() reads. After
    // one refusal, whether of a date or of a time, the next report must still leave the host's
    // date on the clock.
    void aRefusalDoesNotCostTheNextReportItsDate_data()
    {
        QTest::addColumn<bool>("dateRefused");
        QTest::newRow("date refused, then accepted") << true;
        QTest::newRow("time refused, then accepted") << false;
    }
    void aRefusalDoesNotCostTheNextReportItsDate()
    {
        QFETCH(bool, dateRefused);
        const QDateTime pcTime(QDate(2026, 12, 5), QTime(9, 0));
        const QDate hostDate(2026, 12, 8);
        const QTime hostTime(16, 47, 31);
        Gate gate;
        std::atomic<qint64> clockMsec = pcTime.toMSecsSinceEpoch();
        std::atomic<int> calls = 0;
        WorkerClock clock(
            [&](qint64 msecUtc, QString& reason) {
                const int call = calls++;
                if (call == 0) {
                    reason = QStringLiteral("refused once");
                    return false;
                }
                if (call == 1)
                    gate.pass();
                clockMsec = msecUtc;
                return true;
            },
            [](const QString&) {}, [&] { return clockMsec.load(); });
        if (dateRefused)
            clock.setDate(hostDate.addDays(-1));
        else
            clock.setTime(QDateTime(pcTime.date(), hostTime.addSecs(-60)));
        QVERIFY(clock.waitUntilSettled(5000));
        QVERIFY(clock.lastRefused());

        clock.setDate(hostDate);
        QVERIFY(gate.waitUntilHeld());  // the date is being set, and not yet answered
        const QDate today = clock.now().date();
        clock.setTime(QDateTime(today, hostTime));
        gate.open();
        QCOMPARE(today, hostDate);
        QVERIFY(clock.waitUntilSettled(5000));
        const QDateTime set = QDateTime::fromMSecsSinceEpoch(clockMsec);
        QCOMPARE(set.date(), hostDate);
        QVERIFY2(set.time() >= hostTime && set.time() < hostTime.addSecs(60), qPrintable(set.toString(Qt::ISODate)));
    }
};

QTEST_GUILESS_MAIN(ClockWorkerTest)
#include "test_clock_worker.moc"
