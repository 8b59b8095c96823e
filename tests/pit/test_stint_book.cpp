#include "pit/stint_book.h"

#include <QTest>

namespace {

// Times in the scripts and the answers are in seconds; a time that is not whole is given in ms.
qint64 ms(const QString& seconds)
{
    return qint64(seconds.toDouble() * 1000);
}

QString seconds(std::optional<qint64> ms)
{
    if (!ms)
        return QStringLiteral("-");
    return *ms % 1000 == 0 ? QString::number(*ms / 1000) : QString::number(*ms) + QStringLiteral("ms");
}

// "max_stint_min min_pit_s pits_closed_start_min pits_closed_end_min min_driver_min max_driver_min drivers"
StintRules rules(const QString& text)
{
    const QStringList f = text.split(u' ');
    StintRules r{f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt(), {}};
    for (int i = 0; i < f[6].toInt(); ++i)
        r.drivers.append(QString(QChar(u'A' + i)));
    return r;
}

// Short names of the alerts, in the order of AlertKind.
const char* const kAlertNames[] = {"ending", "max", "go", "open", "closing", "driver"};

// Plays "start 0 [driver]; end T; lap T number lapTime; in T; out T [driver]; undo; stop T;
// poll T" on book; a key marked "!" must be refused, any other must be taken. What each poll
// tells goes to told as "kind#subject@due".
void play(StintBook& book, const QString& script, QStringList* told = nullptr)
{
    for (const QString& command : script.split(u';', Qt::SkipEmptyParts)) {
        QStringList f = command.split(u' ', Qt::SkipEmptyParts);
        const bool refused = f[0].startsWith(u'!');
        const QString name = f[0].remove(u'!');
        auto driver = [&f](int i) { return f.size() > i ? std::optional<int>(f[i].toInt()) : std::nullopt; };
        bool taken = true;
        if (name == QStringLiteral("start"))
            taken = book.raceStarted(ms(f[1]), driver(2));
        else if (name == QStringLiteral("end"))
            book.endTimeKnown(ms(f[1]));
        else if (name == QStringLiteral("lap"))
            book.lapTaken(ms(f[1]), f[2].toInt(), ms(f[3]));
        else if (name == QStringLiteral("in"))
            taken = book.pitIn(ms(f[1]));
        else if (name == QStringLiteral("out"))
            taken = book.pitOut(ms(f[1]), driver(2));
        else if (name == QStringLiteral("undo"))
            taken = book.undo();
        else if (name == QStringLiteral("stop"))
            book.stopped(ms(f[1]));
        else if (name == QStringLiteral("poll"))
            for (const StintAlert& a : book.alertsDue(ms(f[1])))
                told->append(QStringLiteral("%1#%2@%3")
                                 .arg(kAlertNames[int(a.kind)]).arg(a.subject).arg(seconds(a.dueMs)));
        else
            QFAIL(qPrintable(QStringLiteral("unknown command ") + command));
        QVERIFY2(taken != refused, qPrintable(command));
    }
}

QString describe(const StintStatus& s)
{
    return QStringLiteral("stint %1 driver %2 run %3 laps %4 best %5 avg %6 left %7 stop %8 go %9 pits %10")
        .arg(s.stint)
        .arg(s.driver ? QString::number(*s.driver) : QStringLiteral("-"))
        .arg(seconds(s.runningMs))
        .arg(s.laps)
        .arg(seconds(s.bestMs), seconds(s.averageMs), seconds(s.leftMs))
        .arg(s.inStop ? seconds(s.stopMs) : QStringLiteral("-"), seconds(s.stopLeftMs))
        .arg(s.pitsOpen ? QStringLiteral("open") : QStringLiteral("closed"));
}

// Each driver as "index:driven/laps/owed/left".
QString describeDrivers(const StintBook& book, qint64 now)
{
    QStringList parts;
    for (int d = 0; d < book.rules().drivers.size(); ++d) {
        const DriverTotal t = book.driverTotal(d, now);
        parts.append(QStringLiteral("%1:%2/%3/%4/%5").arg(d).arg(seconds(t.drivenMs)).arg(t.laps)
                         .arg(seconds(t.shortOfMinMs), seconds(t.leftToMaxMs)));
    }
    return parts.join(u' ');
}

void addStintRows()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("drivers");

    const QString laps3 = QStringLiteral("start 0; lap 100 1 100; lap 200 2 100; lap 302 3 102;");
    QTest::newRow("pit-in and pit-out in the middle of one lap: the ended stint's in-lap")
        << "45 120 30 30 0 0 3" << laps3 + "in 350; out 470; lap 480 4 178; lap 580 5 100; lap 681 6 101" << "700"
        << "stint 2 driver 1 run 230 laps 2 best 100 avg 100500ms left 2470 stop - go - pits closed"
        << "0:350/4/-/- 1:230/2/-/- 2:0/0/-/-";
    QTest::newRow("in-lap reported during the stop, left out of the average")
        << "45 120 30 30 0 0 3" << laps3 + "in 350; lap 420 4 118; !in 425" << "430"
        << "stint 1 driver 0 run 350 laps 4 best 100 avg 100666ms left 2350 stop 80 go 40 pits closed"
        << "0:350/4/-/- 1:0/0/-/- 2:0/0/-/-";
    QTest::newRow("lap begun in the pits is the new stint's out-lap")
        << "0 0 0 0 0 0 2" << "start 0; lap 100 1 100; in 150; lap 160 2 60; out 200; lap 290 3 130; lap 380 4 90"
        << "400" << "stint 2 driver 1 run 200 laps 2 best 90 avg 90 left - stop - go - pits open"
        << "0:150/2/-/- 1:200/2/-/-";
    QTest::newRow("undo of pit-in resumes the stint as if never stopped")
        << "45 120 0 0 0 0 3" << "start 0; lap 100 1 100; in 150; undo; !undo; lap 200 2 100" << "250"
        << "stint 1 driver 0 run 250 laps 2 best 100 avg 100 left 2450 stop - go - pits open"
        << "0:250/2/-/- 1:0/0/-/- 2:0/0/-/-";
    QTest::newRow("undo of pit-out resumes the stop; the next driver is the default again")
        << "45 120 30 0 0 0 3" << "start 0; lap 100 1 100; in 150; out 200 2; undo; out 270" << "300"
        << "stint 2 driver 1 run 30 laps 0 best - avg - left 2670 stop - go - pits closed"
        << "0:150/1/-/- 1:30/0/-/- 2:0/0/-/-";
    QTest::newRow("stop across the pits' closing")
        << "45 120 30 30 0 0 3" << "start 0; end 7200; in 5300" << "5400"
        << "stint 1 driver 0 run 5300 laps 0 best - avg - left -2600 stop 100 go 20 pits closed"
        << "0:5300/0/-/- 1:0/0/-/- 2:0/0/-/-";
    QTest::newRow("driver totals against min and max, a driver chosen back")
        << "0 0 0 0 20 40 3" << "start 0; in 2500; out 2560; in 3000; out 3100 0; !out 3150; !out 3150 3" << "3200"
        << "stint 3 driver 0 run 100 laps 0 best - avg - left - stop - go - pits open"
        << "0:2600/0/0/-200 1:440/0/760/1960 2:0/0/1200/2400";
    QTest::newRow("no roster: nobody drives")
        << "45 0 0 0 20 40 0" << "!start 0 0; start 0; lap 90 1 90; in 100; !out 130 0; out 130; lap 200 2 110" << "200"
        << "stint 2 driver - run 70 laps 0 best - avg - left 2630 stop - go - pits open" << "";
    QTest::newRow("the race stopped during a stop: everything stays as it was")
        << "45 120 0 0 0 0 2" << "start 0 1; in 100; stop 150; !undo; !in 160; lap 170 1 170" << "900"
        << "stint 1 driver 1 run 100 laps 0 best - avg - left 2600 stop 50 go 70 pits closed"
        << "0:0/0/-/- 1:100/0/-/-";
    QTest::newRow("the race stopped in a stint")
        << "45 120 0 0 0 0 2" << "start 0 1; lap 60 1 60; stop 150; lap 170 2 110" << "900"
        << "stint 1 driver 1 run 150 laps 1 best 60 avg 60 left 2550 stop - go - pits closed"
        << "0:0/0/-/- 1:150/1/-/-";
}

void addAlertRows()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("told");

    QTest::newRow("stint ending and stint max, once each")
        << "45 0 0 0 0 0 1" << "start 0; poll 2399; poll 2400; poll 2500; poll 2700; poll 9000"
        << "ending#1@2400 max#1@2700";
    QTest::newRow("a stint of five minutes or less: no warning")
        << "5 0 0 0 0 0 1" << "start 0; poll 299; poll 300" << "max#1@300";
    QTest::newRow("a late call tells what it missed, earliest first")
        << "45 0 0 0 0 0 1" << "start 0; poll 2800" << "ending#1@2400 max#1@2700";
    QTest::newRow("undo of pit-in: the resumed stint is not told again")
        << "45 0 0 0 0 0 2" << "start 0; poll 2400; in 2450; poll 2460; undo; poll 2470; poll 2700"
        << "ending#1@2400 max#1@2700";
    QTest::newRow("go once; undo of pit-out keeps it told; a stop pressed again is new")
        << "0 120 0 0 0 0 2"
        << "start 0; in 100; poll 219; poll 220; out 230; undo; poll 240; out 250; in 400; poll 520; undo; in 600; "
           "poll 719; poll 720; poll 800"
        << "go#1@220 go#2@520 go#2@720";
    QTest::newRow("pits open and close, closing during a stop, told once though the end moves")
        << "0 120 30 30 0 0 2"
        << "start 0; end 7200; poll 1799; poll 1800; in 5300; poll 5400; poll 5420; end 7300; poll 6000"
        << "open#0@1800 closing#0@5400 go#1@5420";
    QTest::newRow("driver max counted across stints, once")
        << "0 0 0 0 0 40 2"
        << "start 0; in 1000; out 1100; in 2000; out 2100; poll 3499; poll 3500; poll 3600; in 3700; out 3800 0; "
           "poll 4000"
        << "driver#0@3500";
    QTest::newRow("rules off: nothing")
        << "0 0 0 0 0 0 3" << "start 0; end 100; in 50; poll 60; out 70; poll 90000" << "";
}

} // namespace

class TestStintBook : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stints_data() { addStintRows(); }
    void stints();
    void alerts_data() { addAlertRows(); }
    void alerts();
    void resume_data();
    void resume();
};

void TestStintBook::stints()
{
    QFETCH(QString, rules);
    QFETCH(QString, script);
    QFETCH(QString, now);
    QFETCH(QString, status);
    QFETCH(QString, drivers);

    StintBook book(::rules(rules));
    play(book, script);
    QCOMPARE(describe(book.status(ms(now))), status);
    QCOMPARE(describeDrivers(book, ms(now)), drivers);
}

void TestStintBook::alerts()
{
    QFETCH(QString, rules);
    QFETCH(QString, script);
    QFETCH(QString, told);

    StintBook book(::rules(rules));
    QStringList log;
    play(book, script, &log);
    QCOMPARE(log.join(u' '), told);
}

void TestStintBook::resume_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("after");  // played on both books once rebuilt
    QTest::addColumn<QString>("told");   // what after tells, on both

    QTest::newRow("a stop undone and pressed again, laps, end moved")
        << "45 120 30 30 20 40 3"
        << "start 0; end 7200; lap 100 1 100; poll 2400; in 2450; poll 2570; undo; in 2600; lap 2620 2 2520; "
           "poll 2720; out 2730 2; lap 2800 3 180; poll 3000; end 7300"
        << "poll 5000; lap 5020 4 2220; in 5100; poll 5230; out 5300; poll 9000"
        << "go#2@5220 closing#0@5500 ending#3@7700 max#3@8000";
    QTest::newRow("a stop undone, no roster")
        << "45 60 0 0 0 0 0" << "start 0; lap 90 1 90; in 100; poll 160; out 170; undo"
        << "poll 200; out 210; poll 5000"
        << "ending#2@2610 max#2@2910";
    QTest::newRow("stopped in a stop") << "45 120 0 0 0 0 2" << "start 0 1; in 100; stop 150" << "poll 900" << "";
}

void TestStintBook::resume()
{
    QFETCH(QString, rules);
    QFETCH(QString, script);
    QFETCH(QString, after);
    QFETCH(QString, told);

    StintBook book(::rules(rules));
    QStringList toldBefore;
    play(book, script, &toldBefore);
    // A line torn by a crash, and one from elsewhere, are passed over.
    int unread = -1;
    StintBook rebuilt = StintBook::fromJournal(::rules(rules), book.journal() + QStringList{"L 5", "Z 1"}, &unread);
    QCOMPARE(unread, 2);
    QCOMPARE(rebuilt.journal(), book.journal());
    QCOMPARE(rebuilt.stops(), book.stops());
    QCOMPARE(rebuilt.nextDriver(), book.nextDriver());
    for (const qint64 at : {qint64(0), qint64(1'800'000), qint64(2'700'000), qint64(9'000'000)}) {
        QCOMPARE(describe(rebuilt.status(at)), describe(book.status(at)));
        QCOMPARE(describeDrivers(rebuilt, at), describeDrivers(book, at));
    }
    // The rebuilt book tells nothing that was told before, and goes on as the first one does.
    QStringList toldOriginal;
    QStringList toldRebuilt;
    play(book, after, &toldOriginal);
    play(rebuilt, after, &toldRebuilt);
    QCOMPARE(toldOriginal.join(u' '), told);
    QCOMPARE(toldRebuilt.join(u' '), told);
    QCOMPARE(describe(rebuilt.status(9'000'000)), describe(book.status(9'000'000)));
}

QTEST_GUILESS_MAIN(TestStintBook)
#include "test_stint_book.moc"
