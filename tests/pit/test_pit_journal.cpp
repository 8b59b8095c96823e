// The pit journal across a restart: a run played on a rig that crashes and starts again is
// compared with the same run on a rig that never stopped; a restart during another race, or
// after the race was stopped, starts afresh; a file that is not a journal is left alone.
#include "pit_rig.h"

#include <QTest>

namespace {

const QTime kHostStart{10, 0, 0};

/// A rig and the host's side of its run: every moment a whole second, as the host's clock
/// counts, so that the end measured after a restart is exactly the one measured before.
struct Run {
    explicit Run(const QByteArray& rules) : rig(std::make_unique<PitRig>(rules)) {}

    void wait(qint64 ms)
    {
        real += ms;
        rig->steadyMs += ms;
    }
    void start()
    {
        rig->w->Cmb_CarNo.setText(Datagram::carText(car));
        rig->w->Btn_Start_Click();
    }
    void report(qint64 afterMs)
    {
        wait(afterMs);
        const int lapMs = int(real - lastReport);
        lastReport = real;
        rig->sock.deliver(Datagram::lapReportText(false, ++lap, lapMs, lapMs, lapMs, date,
                                                  kHostStart.addMSecs(int(real)), end, {}));
        fields.append(rig->pit->lapLogFields());
    }
    void collect()
    {
        QList<StintAlert> due;
        const QMetaObject::Connection c = QObject::connect(
            rig->pit.get(), &PitObserver::alerted, [&due](const QList<StintAlert>& alerts) { due += alerts; });
        rig->pit->collectAlerts();
        QObject::disconnect(c);
        for (const StintAlert& a : due)
            told.append(QStringLiteral("%1/%2").arg(int(a.kind)).arg(a.subject));
    }

    std::unique_ptr<PitRig> rig;
    qint64 real = 0;  ///< since the first Start
    qint64 lastReport = 0;
    int lap = 0;
    int car = 1;
    QTime end{13, 0, 0};
    QDate date{2026, 5, 3};
    QList<QStringList> fields;  ///< the lap log's fields of each lap
    QStringList told;           ///< alerts, kind/subject
};

// Plays "start; stop; lap MS (a report MS after the last); wait MS; in; out; crash MS [torn]"
// on run. A crash ends the program without Stop and starts it again MS later, and Start is
// pressed; "torn" leaves the journal with a line the medium lost part of. A rig that never
// crashes (crashes false) waits MS instead.
void play(Run& run, const QString& script, bool crashes)
{
    for (const QString& command : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList f = command.split(u' ', Qt::SkipEmptyParts);
        const QString& name = f.at(0);
        if (name == QStringLiteral("start")) {
            run.start();
        } else if (name == QStringLiteral("stop")) {
            run.rig->stop();
        } else if (name == QStringLiteral("lap")) {
            run.report(f.at(1).toLongLong());
        } else if (name == QStringLiteral("wait")) {
            run.wait(f.at(1).toLongLong());
        } else if (name == QStringLiteral("in")) {
            QVERIFY2(run.rig->pit->pitIn(), qPrintable(command));
        } else if (name == QStringLiteral("out")) {
            QVERIFY2(run.rig->pit->pitOut(), qPrintable(command));
        } else if (name == QStringLiteral("crash") && !crashes) {
            run.wait(f.at(1).toLongLong());
        } else if (name == QStringLiteral("crash")) {
            run.rig->w.reset();
            run.rig->pit.reset();
            if (f.size() > 2)
                writeBytes(run.rig->journal, readBytes(run.rig->journal) + "I 1");  // "I 1...", cut short
            // The new process's steady clock has nothing to do with the old one's.
            run.rig->steadyMs = run.rig->steadyMs * 3 + 777'000;
            run.rig->load();
            run.wait(f.at(1).toLongLong());
            run.start();
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + command));
        }
        run.collect();
    }
}

QString described(const StintStatus& s)
{
    auto text = [](std::optional<qint64> v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    return QStringLiteral("stint %1 driver %2 running %3 laps %4 best %5 average %6 left %7 stop %8 %9 %10 open %11")
        .arg(s.stint)
        .arg(text(s.driver))
        .arg(s.runningMs)
        .arg(s.laps)
        .arg(text(s.bestMs), text(s.averageMs), text(s.leftMs))
        .arg(s.inStop)
        .arg(s.stopMs)
        .arg(text(s.stopLeftMs))
        .arg(s.pitsOpen);
}

/// Everything the panel shows of run's book, moments taken from now.
QStringList shown(const Run& run)
{
    const StintBook& book = run.rig->pit->book();
    const qint64 now = run.rig->steadyMs;
    QStringList lines{described(book.status(now))};
    for (int d = 0; d < 3; ++d) {
        const DriverTotal t = book.driverTotal(d, now);
        lines.append(QStringLiteral("driver %1: %2 ms %3 laps").arg(d).arg(t.drivenMs).arg(t.laps));
    }
    for (const PitStop& stop : book.stops())
        lines.append(QStringLiteral("stop %1 %2 %3")
                         .arg(now - stop.inMs)
                         .arg(stop.outMs ? QString::number(now - *stop.outMs) : QStringLiteral("-"))
                         .arg(stop.driver.value_or(-1)));
    return lines;
}

} // namespace

class TestPitJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void restartResumes_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("second stint running")
            << "start; lap 60000; wait 20000; in; wait 70000; out; lap 10000; lap 60000; wait 30000; crash 20000;"
               "lap 20000; lap 60000; wait 5000";
        QTest::newRow("stop in progress at the crash")
            << "start; lap 60000; wait 20000; in; wait 30000; crash 40000; lap 10000; wait 30000; out; lap 60000";
        QTest::newRow("a key between the restart and its first report")
            << "start; lap 60000; lap 60000; wait 10000; crash 15000; wait 5000; in; lap 20000; wait 70000; out;"
               "lap 60000";
        QTest::newRow("a pit-out between the restart and its first report")
            << "start; lap 60000; wait 20000; in; wait 10000; crash 20000; wait 5000; out; lap 10000; lap 60000";
        QTest::newRow("a second crash before the first report")
            << "start; lap 60000; wait 20000; in; wait 30000; crash 10000; wait 5000; crash 10000; lap 10000;"
               "wait 30000; out; lap 60000";
        QTest::newRow("resumed twice")
            << "start; lap 60000; wait 10000; in; wait 70000; out; lap 30000; crash 10000; lap 50000; wait 10000;"
               "crash 10000; lap 50000; lap 60000";
        QTest::newRow("torn last line") << "start; lap 60000; wait 20000; in; wait 70000; out; lap 10000; wait 5000;"
                                           "crash 40000 torn; lap 10000";
    }
    void restartResumes()
    {
        // Stints, stops, drivers, totals, the race's start, the alerts told and each lap's
        // fields in the lap log: as if the program had never stopped.
        QFETCH(QString, script);
        const QByteArray rules = "min_pit_s=60\r\nmax_stint_min=10\r\nmax_driver_min=20\r\n";
        Run steady(rules);
        Run crashing(rules);
        play(steady, script, false);
        play(crashing, script, true);
        QCOMPARE(shown(crashing), shown(steady));
        QCOMPARE(crashing.fields, steady.fields);
        QCOMPARE(crashing.told, steady.told);
        QVERIFY(crashing.rig->pit->notice().startsWith(QStringLiteral("前回の記録から再開しました")));
    }

    void restartStartsAfresh_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("car");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<int>("days");
        const QString race = QStringLiteral("start; lap 60000; wait 20000; in");
        QTest::newRow("another car") << race << 2 << QTime(13, 0) << 0;
        QTest::newRow("another end") << race << 1 << QTime(13, 30) << 0;
        QTest::newRow("the same end another day") << race << 1 << QTime(13, 0) << 1;
        QTest::newRow("race stopped") << race + QStringLiteral("; stop") << 1 << QTime(13, 0) << 0;
        QTest::newRow("no end known before the crash") << QStringLiteral("start; wait 20000; in") << 1 << QTime(13, 0) << 0;
    }
    void restartStartsAfresh()
    {
        QFETCH(QString, before);
        QFETCH(int, car);
        QFETCH(QTime, end);
        QFETCH(int, days);
        Run run("");
        play(run, before, true);
        run.rig->restart(5'000'000);
        run.car = car;
        run.end = end;
        run.date = run.date.addDays(days);
        run.start();
        run.report(30000);
        QCOMPARE(run.rig->pit->book().journal().constFirst(), QStringLiteral("S 5000000 0"));
        QVERIFY(run.rig->pit->book().stops().isEmpty());
        QCOMPARE(run.fields.constLast(), (QStringList{"1", "A", ""}));
        QVERIFY(run.rig->pit->notice().isEmpty());
        // The old race is gone from the file: a restart now would go on with the new one.
        run.rig->pit->journal()->waitForWriter();
        const QByteArray bytes = readBytes(run.rig->journal);
        QCOMPARE(bytes.count("\nrace "), 1);
        QCOMPARE(PitJournalText::lastRace(bytes)->car, Datagram::carText(car));
    }

    void fileNotOursLeftAlone()
    {
        // Something else stands at the journal's name: untouched, told once, and the journal
        // goes on beside it, where a restart finds it.
        Run run("");
        run.rig->pit.reset();
        run.rig->w.reset();
        writeBytes(run.rig->journal, "notes\n");
        run.rig->load();
        play(run, "start; lap 60000; wait 1000; in", true);
        run.rig->pit->journal()->waitForWriter();
        QCoreApplication::processEvents();
        QCOMPARE(run.rig->dialogs.boxes.size(), 1);
        QVERIFY(run.rig->dialogs.boxes.constFirst().prompt.contains(QStringLiteral("PitJournal_2.txt")));
        play(run, "crash 10000; lap 10000", true);
        QCOMPARE(readBytes(run.rig->journal), QByteArray("notes\n"));
        QCOMPARE(run.rig->pit->book().stops().size(), 1);
        QCOMPARE(run.rig->pit->journal()->path(), run.rig->program.filePath(QStringLiteral("PitJournal_2.txt")));
    }
};

QTEST_GUILESS_MAIN(TestPitJournal)
#include "test_pit_journal.moc"
