// The watchdog's lap silence (the run's average lap against three minutes) and the host's
// refusals, each told once and ended by the next lap report.
#include "pit/watchdog.h"

#include <QTest>

class TestWatchdog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void alertsOfTheRun_data()
    {
        // "start T; lap T LAPMS; refuse T; stop T; poll T"; each poll's alerts as "silence@due"
        // or "refused@due".
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("told");
        QTest::newRow("three minutes before the first lap, told once, again after a report")
            << "start 0; poll 179999; poll 180000; poll 900000; lap 910000 10000; poll 1089999; poll 1090000"
            << "silence@180000 silence@1090000";
        QTest::newRow("three average laps when longer than three minutes")
            << "start 0; lap 100000 100000; lap 180000 80000; lap 300000 120000; poll 599999; poll 600000"
            << "silence@600000";
        QTest::newRow("three minutes when three average laps are shorter")
            << "start 0; lap 30000 30000; lap 80000 50000; lap 90000 0; poll 269999; poll 270000" << "silence@270000";
        QTest::newRow("three seconds of refusals, told once")
            << "start 0; refuse 1000; refuse 2000; refuse 3000; refuse 3999; poll 3999; refuse 4000; refuse 5000; "
               "poll 5000; refuse 9000; poll 9000"
            << "refused@4000";
        QTest::newRow("a single refusal, refusals far apart, or after the stop, are not")
            << "start 0; refuse 1000; refuse 3500; refuse 5501; refuse 7502; stop 8000; refuse 9000; refuse 12000; "
               "poll 900000"
            << "";
        QTest::newRow("a report among the refusals counts them again and ends the alert")
            << "start 0; refuse 1000; refuse 2000; lap 3000 60000; refuse 3000; refuse 5000; refuse 5999; poll 5999; "
               "refuse 6000; poll 6000; lap 7000 60000; refuse 7000; refuse 8500; refuse 10000; poll 10000"
            << "refused@6000 refused@10000";
    }
    void alertsOfTheRun()
    {
        QFETCH(QString, script);
        QFETCH(QString, told);
        Watchdog dog;
        QStringList result;
        for (const QString& command : script.split(u';', Qt::SkipEmptyParts)) {
            const QStringList f = command.split(u' ', Qt::SkipEmptyParts);
            const qint64 ms = f[1].toLongLong();
            if (f[0] == QStringLiteral("start"))
                dog.started(ms);
            else if (f[0] == QStringLiteral("lap"))
                dog.lapReported(ms, f[2].toLongLong());
            else if (f[0] == QStringLiteral("refuse"))
                dog.refused(ms);
            else if (f[0] == QStringLiteral("stop"))
                dog.stopped(ms);
            for (const StintAlert& a : f[0] == QStringLiteral("poll") ? dog.alertsDue(ms) : QList<StintAlert>())
                result << QStringLiteral("%1@%2").arg(a.kind == AlertKind::LapSilence ? "silence" : "refused")
                              .arg(a.dueMs);
        }
        QCOMPARE(result.join(u' '), told);
    }
};

QTEST_GUILESS_MAIN(TestWatchdog)
#include "test_watchdog.moc"
