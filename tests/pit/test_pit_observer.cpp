// The pit observer on a client window with fake services: what it hands the book at Start,
// laps, the pit keys, undo and Stop, the host's end time, the alerts and their sound, and the
// stints file read, created, told about and read again.
#include "pit_rig.h"

#include "fakes/fake_alert_sound.h"
#include "pit/alert_chime.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace {

int boxesTitled(const FakeDialogs& dialogs, const QString& title)
{
    return int(std::count_if(dialogs.boxes.begin(), dialogs.boxes.end(),
                             [&](const FakeDialogs::Box& b) { return b.title == title; }));
}

// Plays "start; stop; lap N MS; wait MS; in; out [D]; choose D; undo; no" on rig; "no" answers
// the next box No. A key marked "!" must be refused, any other must be taken.
void play(PitRig& rig, const QString& script)
{
    for (const QString& command : script.split(u';', Qt::SkipEmptyParts)) {
        QStringList f = command.split(u' ', Qt::SkipEmptyParts);
        const bool refused = f[0].startsWith(u'!');
        const QString name = f[0].remove(u'!');
        bool taken = true;
        if (name == QStringLiteral("start"))
            rig.start();
        else if (name == QStringLiteral("stop"))
            rig.stop();
        else if (name == QStringLiteral("lap"))
            rig.lap(f[1].toInt(), f[2].toInt());
        else if (name == QStringLiteral("wait"))
            rig.steadyMs += f[1].toLongLong();
        else if (name == QStringLiteral("in"))
            taken = rig.pit->pitIn();
        else if (name == QStringLiteral("out"))
            taken = rig.pit->pitOut(f.size() > 1 ? std::optional<int>(f[1].toInt()) : std::nullopt);
        else if (name == QStringLiteral("choose"))
            taken = rig.pit->chooseDriver(f[1].toInt());
        else if (name == QStringLiteral("undo"))
            taken = rig.pit->undo();
        else if (name == QStringLiteral("no"))
            rig.dialogs.answers.append(MsgBox::vbNo);
        else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + command));
        QVERIFY2(taken != refused, qPrintable(command));
    }
}

} // namespace

class TestPitObserver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void feedsTheBook_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("journal");
        QTest::addColumn<int>("asked");  // pit-in questions

        QTest::newRow("laps of a run") << QByteArray() << "start; lap 1 80000; lap 2 81000; wait 5000; stop"
                                       << "S 0 0|L 80000 1 80000|L 161000 2 81000|X 166000" << 0;
        QTest::newRow("pit keys and undo")
            << QByteArray("min_pit_s=30\r\n")
            << "start; wait 600000; in; !in; wait 40000; out; wait 1000; undo; wait 2000; out 2; stop"
            << "S 0 0|I 600000|O 640000 1|U|O 643000 2|X 643000" << 0;
        QTest::newRow("chosen driver: the start's, then one pit-out's")
            << QByteArray() << "choose 2; start; wait 1000; in; choose 0; wait 1000; out; wait 1000; in; wait 1000; out"
            << "S 0 2|I 1000|O 2000 0|I 3000|O 4000 1" << 0;
        QTest::newRow("no driver off the roster") << QByteArray() << "start; !choose 3; !choose -1; in; !out 3"
                                                  << "S 0 0|I 0" << 0;
        QTest::newRow("keys outside a run") << QByteArray()
                                            << "!in; !out; !undo; start; !out; !undo; wait 10; stop; !in; !undo"
                                            << "S 0 0|X 10" << 0;
        QTest::newRow("pits closed: asked, No records nothing")
            << QByteArray("pits_closed_start_min=10\r\n")
            << "start; wait 1000; no; !in; wait 1000; in; wait 1000; out; wait 600000; in"
            << "S 0 0|I 2000|O 3000 1|I 603000" << 2;
        QTest::newRow("a second Start begins a new book")
            << QByteArray() << "start; wait 1000; in; stop; wait 5000; start; lap 1 2000"
            << "S 6000 0|L 8000 1 2000" << 0;
    }
    void feedsTheBook()
    {
        QFETCH(QByteArray, rules);
        QFETCH(QString, script);
        QFETCH(QString, journal);
        QFETCH(int, asked);
        PitRig rig(rules);
        play(rig, script);
        QCOMPARE(rig.pit->book().journal().join(u'|'), journal);
        QCOMPARE(boxesTitled(rig.dialogs, QStringLiteral("ピットイン")), asked);
    }

    void endMoment_data()
    {
        QTest::addColumn<QTime>("clock");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<qint64>("ahead");
        QTest::newRow("ahead") << QTime(10, 0) << QTime(11, 30) << qint64(5'400'000);
        QTest::newRow("just passed") << QTime(10, 0) << QTime(9, 30) << qint64(-1'800'000);
        QTest::newRow("passed under an hour ago") << QTime(15, 0) << QTime(14, 0, 1) << qint64(-3'599'000);
        QTest::newRow("an hour ago is tomorrow's") << QTime(15, 0) << QTime(14, 0) << qint64(82'800'000);
        QTest::newRow("after midnight") << QTime(23, 30) << QTime(0, 30) << qint64(3'600'000);
        QTest::newRow("just before midnight") << QTime(0, 30) << QTime(23, 45) << qint64(-2'700'000);
    }
    void endMoment()
    {
        QFETCH(QTime, clock);
        QFETCH(QTime, end);
        QFETCH(qint64, ahead);
        QCOMPARE(PitObserver::endMoment(1000, clock, end), 1000 + ahead);
    }

    void endTimeFromTheReportsClock()
    {
        // The PC's clock refuses to be set and stays at 10:00:00: the end is measured against the
        // host's clock in the report all the same, and told again only when the host moves it.
        PitRig rig;
        rig.clock.refuse = true;
        rig.start();
        rig.lap(1, 60000, QTime(10, 1, 0), QTime(11, 0, 0));
        rig.lap(2, 60000, QTime(10, 2, 0), QTime(11, 0, 0));
        rig.lap(3, 60000, QTime(10, 3, 30), QTime(11, 10, 0));
        rig.lap(4, 60000, QTime(10, 4, 0), QTime(10, 4, 0));  // no end time in this one
        QCOMPARE(rig.pit->book().journal().join(u'|'),
                 QStringLiteral("S 0 0|L 60000 1 60000|E 3600000|L 120000 2 60000|L 180000 3 60000|E 4170000|"
                                "L 240000 4 60000"));
        // The next run tells the end again, though the host has not moved it.
        rig.stop();
        rig.start();
        rig.lap(5, 60000, QTime(10, 6, 0), QTime(11, 10, 0));
        QCOMPARE(rig.pit->book().journal().join(u'|'), QStringLiteral("S 240000 0|L 300000 5 60000|E 4140000"));
    }

    void alertsSoundedUnlessMuted()
    {
        PitRig rig("min_pit_s=30\r\n");
        QList<StintAlert> chimed;
        rig.pit->setChime([&chimed](const StintAlert& a) { chimed.append(a); });
        QSignalSpy alerted(rig.pit.get(), &PitObserver::alerted);
        QVERIFY(!rig.pit->alertTimer().isActive());
        rig.start();
        QVERIFY(rig.pit->alertTimer().isActive());
        QCOMPARE(rig.pit->alertTimer().interval(), 100);

        rig.steadyMs = 1000;
        QVERIFY(rig.pit->pitIn());
        rig.steadyMs = 30'999;
        rig.pit->collectAlerts();
        QCOMPARE(alerted.count(), 0);
        rig.steadyMs = 31'000;
        rig.pit->collectAlerts();
        rig.pit->collectAlerts();  // told once
        const StintAlert go{AlertKind::StopDone, 1, 31'000};
        QCOMPARE(chimed, QList<StintAlert>{go});
        QCOMPARE(alerted.count(), 1);
        QCOMPARE(rig.pit->latestAlert(), go);

        // Muted, the second stop's alert is still told and shown, without a sound.
        QVERIFY(rig.pit->pitOut());
        QVERIFY(rig.pit->pitIn());
        rig.pit->toggleMute();
        QVERIFY(rig.pit->muted());
        rig.steadyMs = 61'000;
        rig.pit->collectAlerts();
        QCOMPARE(alerted.count(), 2);
        QCOMPARE(chimed.size(), 1);
        QCOMPARE(rig.pit->latestAlert(), (StintAlert{AlertKind::StopDone, 2, 61'000}));
        rig.pit->toggleMute();
        QVERIFY(!rig.pit->muted());

        rig.stop();
        QVERIFY(!rig.pit->alertTimer().isActive());
        // A new run shows no alert of the last.
        rig.start();
        QCOMPARE(rig.pit->latestAlert(), std::nullopt);
    }

    void everyKindSoundsItsOwnTone()
    {
        // Pits open 2:00, stint ending 3:00, no lap since 1:00 for three minutes 4:00, stint at
        // its longest 8:00, driver at the most 9:00, pit-in 9:30, stop done 10:00, pits closing
        // 10:30 (the host's end 10:10:30 told at 1:00 on its clock 10:00:00).
        PitRig rig("max_stint_min=8\r\nmin_pit_s=30\r\npits_closed_start_min=2\r\n"
                   "pits_closed_end_min=1\r\nmax_driver_min=9\r\n");
        FakeAlertSound sound;
        rig.pit->setChime(alertChime(sound));
        QSignalSpy alerted(rig.pit.get(), &PitObserver::alerted);
        rig.start();
        rig.lap(1, 60'000, QTime(10, 0, 0), QTime(10, 10, 30));
        QMap<AlertKind, AlertTone> heard;
        for (; rig.steadyMs <= 11 * 60'000; rig.steadyMs += 1000) {
            if (rig.steadyMs == 9 * 60'000 + 30'000)
                QVERIFY(rig.pit->pitIn());
            const int before = int(sound.played.size());
            rig.pit->collectAlerts();
            if (sound.played.size() > before)
                heard.insert(rig.pit->latestAlert()->kind, sound.played.constLast());
        }
        QCOMPARE(alerted.count(), 7);
        QCOMPARE(heard.size(), 7);
        const QList<AlertTone> tones = heard.values();
        QCOMPARE(QSet<AlertTone>(tones.begin(), tones.end()).size(), 7);
        // A kind the table does not know yet still chimes.
        QVERIFY(std::count(kAlertTones.begin(), kAlertTones.end(), alertTone(static_cast<AlertKind>(99))) == 1);
    }

    void rulesReadAgainDuringARun()
    {
        PitRig rig("min_pit_s=30\r\n");
        rig.start();
        play(rig, "wait 1000; in; wait 40000; out 2; wait 1000; choose 1");
        writeBytes(rig.path, stintsText("max_stint_min=60\r\n"));
        rig.pit->reloadRules();
        QCOMPARE(rig.pit->rules().maxStintMin, 60);
        QCOMPARE(rig.pit->book().rules().maxStintMin, 60);
        QCOMPARE(rig.pit->book().stops(), (QList<PitStop>{{1000, 41000, 2}}));
        QCOMPARE(rig.pit->book().status(rig.steadyMs).leftMs, 60 * 60'000 - 1000);
        QCOMPARE(rig.pit->chosenDriver(), 1);
        QCOMPARE(rig.dialogs.boxes.size(), 0);

        // A roster of one, or a file with no roster: the pit-out with C would be lost, so the race
        // goes on as it was, under the rules it has, and the new ones wait for the next Start.
        const QStringList before = rig.pit->book().journal();
        for (const QByteArray text : {QByteArray("[drivers]\r\n1=A\r\n"), QByteArray("[rules]\r\nmin_pit_s=30\r\n")}) {
            writeBytes(rig.path, text);
            rig.pit->reloadRules();
            QCOMPARE(rig.pit->book().journal(), before);
            QCOMPARE(rig.pit->rules().drivers, rig.pit->book().rules().drivers);
            QVERIFY(rig.dialogs.boxes.constLast().prompt.contains(QStringLiteral("前の設定のまま")));
        }
        QCOMPARE(boxesTitled(rig.dialogs, QStringLiteral("スティント")), 2);
        QVERIFY(rig.pit->pitIn());
        rig.stop();
        rig.start();
        QCOMPARE(rig.pit->book().rules().drivers, QStringList());
    }

    void fileProblemsToldOnce()
    {
        PitRig rig("max_stint_min=abc\r\nmin_pit_s=30\r\n");
        QCOMPARE(rig.pit->rules().minPitS, 30);
        QCOMPARE(rig.pit->problems().size(), 1);
        rig.pit->tellProblems();
        rig.pit->tellProblems();
        QCOMPARE(boxesTitled(rig.dialogs, QStringLiteral("スティント")), 1);
        QVERIFY(rig.dialogs.boxes.constFirst().prompt.contains(QStringLiteral("2行目")));
        // Read again, the same problem is told again: it is another reading.
        rig.pit->reloadRules();
        QCOMPARE(boxesTitled(rig.dialogs, QStringLiteral("スティント")), 2);
    }

    void missingFileCreated()
    {
        PitRig rig;  // no file
        const QByteArray bytes = readBytes(rig.path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF[rules]\r\n"));
        const StintsFile::Reading reading = StintsFile::read(rig.path);
        QVERIFY(!reading.missing);
        QCOMPARE(reading.problems, QStringList());
        QCOMPARE(rig.pit->rules().drivers, reading.rules.drivers);
        rig.pit->tellProblems();
        QCOMPARE(rig.dialogs.boxes.size(), 0);
    }

    void unreadableFileLeftAlone()
    {
        // Something that is not a file stands at the path: it is told and never replaced.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Stints.ini"));
        QVERIFY(QDir().mkdir(path));
        FakeDialogs dialogs;
        PitObserver pit(StintsLocation{path}, dialogs, [] { return qint64(0); });
        QCOMPARE(pit.rules().drivers, QStringList());
        pit.tellProblems();
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(QFileInfo(path).isDir());
    }

    void preparedCopyReadThenAdoptedForEditing()
    {
        QTemporaryDir user;
        QTemporaryDir program;
        const QString saved = user.filePath(QStringLiteral("Stints.ini"));
        const QString prepared = program.filePath(QStringLiteral("Stints.ini"));
        writeBytes(prepared, stintsText("min_pit_s=45\r\n"));
        FakeDialogs dialogs;
        PitObserver pit(StintsLocation{saved, prepared}, dialogs, [] { return qint64(0); });
        QCOMPARE(pit.rules().minPitS, 45);
        QVERIFY(!QFileInfo::exists(saved));  // read, not copied, until it is edited
        QCOMPARE(pit.pathForEditing(), saved);
        QCOMPARE(readBytes(saved), stintsText("min_pit_s=45\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestPitObserver)
#include "test_pit_observer.moc"
