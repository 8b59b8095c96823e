// The lap log beside a pit observer: each row's stint, driver and pit fields as the stint book
// places the lap when its report is taken, and the header's added columns.
#include "log_rig.h"
#include "fakes/file_bytes.h"
#include "pit/pit_observer.h"

#include <QTest>

namespace {

/// A log rig whose runs a pit observer watches too, on a steady clock moved by hand, as main
/// wires them: the observer sees each event first and hands the log its fields.
struct StintLogRig : LogRig {
    StintLogRig(const QString& folder, const QByteArray& stints) : LogRig(folder)
    {
        const QString path = program.filePath(QStringLiteral("Stints.ini"));
        writeBytes(path, stints);
        pit = std::make_unique<PitObserver>(StintsLocation{path}, dialogs, [this] { return steadyMs; });
        before = [this](const ClientWindow& window, RunEvent e) { pit->onRunEvent(window, e); };
        log.addColumns({PitObserver::lapLogColumns(), [this] { return pit->lapLogFields(); }});
    }
    ~StintLogRig()
    {
        w.reset();
        pit.reset();
    }
    /// The next lap's report, lapMs after the one before.
    void lapOf(int lapMs)
    {
        steadyMs += lapMs;
        ++lapNo;
        report(false, lapNo, lapMs, lapMs, lapMs, QTime(10, 0, 0).addMSecs(int(steadyMs)), QTime(10, 0, 0));
    }

    qint64 steadyMs = 0;
    int lapNo = 0;
    std::unique_ptr<PitObserver> pit;
};

const QByteArray kRoster = "[drivers]\r\n1=安藤\r\n2=Berg\r\n3=Cruz\r\n";

// Plays "lap MS; wait MS; in; out [D]; undo" after Start; every key must be taken.
void play(StintLogRig& rig, const QString& script)
{
    for (const QString& command : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList f = command.split(u' ', Qt::SkipEmptyParts);
        bool taken = true;
        if (f[0] == QStringLiteral("lap"))
            rig.lapOf(f[1].toInt());
        else if (f[0] == QStringLiteral("wait"))
            rig.steadyMs += f[1].toLongLong();
        else if (f[0] == QStringLiteral("in"))
            taken = rig.pit->pitIn();
        else if (f[0] == QStringLiteral("out"))
            taken = rig.pit->pitOut(f.size() > 1 ? std::optional<int>(f[1].toInt()) : std::nullopt);
        else if (f[0] == QStringLiteral("undo"))
            taken = rig.pit->undo();
        else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + command));
        QVERIFY2(taken, qPrintable(command));
    }
}

} // namespace

class LapLogStintsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stintFieldsOfEachRow_data()
    {
        QTest::addColumn<QByteArray>("stints");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("rows");  // the three added fields of each row

        QTest::newRow("pit-in in one lap, pit-out in the next")
            << kRoster << "lap 80000; wait 30000; in; lap 50000; wait 20000; out; lap 60000; lap 80000"
            << "1,安藤,|1,安藤,in|2,Berg,out|2,Berg,";
        QTest::newRow("in-lap reported after the pit-out: the next lap is a full one")
            << kRoster << "lap 80000; wait 10000; in; wait 30000; out; wait 5000; lap 45000; lap 81000"
            << "1,安藤,|1,安藤,in|2,Berg,";
        QTest::newRow("two reports during the stop, no roster")
            << QByteArray("[rules]\r\n") << "lap 80000; wait 1000; in; lap 2000; lap 30000; out; wait 9000; lap 9000; lap 80000"
            << "1,,|1,,in|1,,|2,,out|2,,";
        QTest::newRow("a pit-in taken back before the report: no in-lap")
            << kRoster << "lap 80000; wait 1000; in; undo; lap 79000; wait 1000; in; lap 60000"
            << "1,安藤,|1,安藤,|1,安藤,in";
        QTest::newRow("driver chosen at the pit-out, and a second stop")
            << kRoster << "lap 80000; wait 1000; in; lap 30000; wait 20000; out 2; lap 70000; wait 5000; in; lap 40000; out; lap 90000"
            << "1,安藤,|1,安藤,in|2,Cruz,out|2,Cruz,in|3,安藤,out";
    }
    void stintFieldsOfEachRow()
    {
        QFETCH(QByteArray, stints);
        QFETCH(QString, script);
        QFETCH(QString, rows);
        QTemporaryDir tmp;
        StintLogRig rig(tmp.path(), stints);
        rig.start(2);
        play(rig, script);
        const QByteArray file = rig.file();
        rig.stop();

        const QByteArray header = kStart.chopped(2) + ",stint,driver,pit\r\n";
        QVERIFY2(file.startsWith(header), file.constData());
        QStringList added;
        for (const QByteArray& row : file.mid(header.size()).split('\n')) {
            if (row.isEmpty())
                continue;
            QVERIFY2(row.endsWith('\r') && row.count(',') == 11, row.constData());
            added << QString::fromUtf8(row.chopped(1)).section(u',', 9);
        }
        QCOMPARE(added.join(u'|'), rows);
    }

    void roundTripOfAWholeRow()
    {
        // The log's own fields stay as they were (the PC's clock set from the report), the added
        // ones follow, and a driver name that a spreadsheet would take for a formula is kept as
        // text.
        QTemporaryDir tmp;
        StintLogRig rig(tmp.path(), "[drivers]\r\n1=-Ann, \"Jr\"\r\n");
        rig.start(1);
        rig.lapOf(83456);
        QCOMPARE(rig.file(), kStart.chopped(2) + ",stint,driver,pit\r\n"
                     "2026-05-03T10:01:23.000,1,83456,83456,83456,83456,2026-05-03T10:00:00,,,1,\"'-Ann, \"\"Jr\"\"\",\r\n");
    }
};

QTEST_GUILESS_MAIN(LapLogStintsTest)
#include "test_lap_log_stints.moc"
