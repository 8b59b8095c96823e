// The lap log on a client window with fake services: the rows of a run, one file per run,
// the file name, the writer thread and its end with the program.
#include "log_rig.h"
#include "fakes/file_bytes.h"
#include "laplog/lap_log_format.h"

#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

class LapLogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowsOfARun()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("laps/today"));  // missing: created
        LogRig rig(folder);
        rig.start(3);
        QCOMPARE(rig.log.currentFile(), folder + QStringLiteral("/2026-05-03_100000_3.csv"));
        QCOMPARE(rig.file(), kStart);

        // Commas, quotes and characters of code page 932 beyond JIS X 0208: half-width kana,
        // an NEC special and an IBM extension.
        const QString hostText = QStringLiteral("ピット,\"IN\" ｱ①髙");
        rig.report(false, 1, 83456, 83456, 83456, QTime(10, 1, 23), QTime(11, 0, 0), hostText);
        const QByteArray row1 = "2026-05-03T10:01:23.000,1,83456,83456,83456,83456,2026-05-03T11:00:00,"
                                "\"ピット,\"\"IN\"\" ｱ①髙\",\r\n";
        QCOMPARE(rig.file(), kStart + row1);

        rig.report(false, 1, 83456, 83456, 83456, QTime(10, 1, 23), QTime(11, 0, 0), hostText);  // repeat
        rig.w->Lbl_OutMess.setCaption(QStringLiteral("ＢＯＸ"));
        rig.clock.advance(82222);
        // A "C" report of the lap already taken is a new row; clock equal to end: no end time.
        rig.report(true, 1, 82222, 82222, 82839, QTime(10, 2, 45), QTime(10, 2, 45));
        rig.report(false, 2, 84000, 82222, 83226, QTime(10, 4, 9), QTime(11, 0, 0), QStringLiteral("=1+2"));
        QCOMPARE(rig.w->Lbl_Lap.caption(), QStringLiteral("3周目"));
        const QByteArray rows = row1
            + "2026-05-03T10:02:45.222,1,82222,82222,82839,-1234,,,ＢＯＸ\r\n"
              "2026-05-03T10:04:09.000,2,84000,82222,83226,1778,2026-05-03T11:00:00,'=1+2,ＢＯＸ\r\n";  // no formula
        QCOMPARE(rig.file(), kStart + rows);
        rig.stop();

        // The next run of the car started in the same second: a file of its own.
        rig.clock.setTime(QDateTime(QDate(2026, 5, 3), QTime(10, 0, 0)));
        rig.start(3);
        QCOMPARE(rig.log.currentFile(), folder + QStringLiteral("/2026-05-03_100000_3_2.csv"));
        QCOMPARE(rig.file(), kStart);
        QVERIFY(rig.dialogs.boxes.size() == 1);  // only the Stop confirmation
    }

    void carTextsMadeSafe()
    {
        const QDateTime at(QDate(2026, 5, 3), QTime(9, 30, 5));
        QCOMPARE(LapLogFormat::fileName(at, QStringLiteral(" a:b*c?\"<>|\\\tx ")), QStringLiteral("2026-05-03_093005_a_b_c_______x.csv"));
        QCOMPARE(LapLogFormat::fileName(at, QStringLiteral("..")), QStringLiteral("2026-05-03_093005__.csv"));
    }

    void createdExclusively()
    {
        // Another client of the car, started in the same second into this folder, has the name.
        QTemporaryDir tmp;
        const QString taken = tmp.filePath(QStringLiteral("2026-05-03_100000_2.csv"));
        writeBytes(taken, "another client's\r\n");
        LogRig rig(tmp.path());
        rig.start(2);
        rig.lap(1);
        QCOMPARE(rig.log.currentFile(), tmp.filePath(QStringLiteral("2026-05-03_100000_2_2.csv")));
        QCOMPARE(lapsIn(rig.file()), QList<int>{1});
        QCOMPARE(readBytes(taken), QByteArray("another client's\r\n"));
    }

    void rowsSyncedByTheWriterThread()
    {
        // A sync held until the test lets it go, like a slow stick: the window takes laps
        // meanwhile, and every row is on the medium once it is let go. What the system holds of
        // the file when a sync runs is what that sync puts on the medium; it is read through the
        // path, so the fake flushes nothing of the writer's on its behalf.
        QSemaphore letGo;
        std::atomic<bool> hold{false};
        std::atomic<bool> syncing{false};
        std::atomic<bool> onWindowThread{false};
        std::mutex mediumMutex;
        QByteArray medium;
        auto sync = [&, window = std::this_thread::get_id()](QFileDevice& file) {
            onWindowThread = onWindowThread || std::this_thread::get_id() == window;
            syncing = true;
            if (hold)
                letGo.tryAcquire(1, 20000);
            syncing = false;
            const QByteArray held = readBytes(file.fileName());
            const std::lock_guard lock(mediumMutex);
            medium = held;
            return true;
        };
        QTemporaryDir tmp;
        LogRig rig(tmp.path(), sync);
        rig.start(4);
        hold = true;
        rig.lap(1, false);
        QTRY_VERIFY(syncing);
        rig.lap(2, false);
        rig.lap(3, false);
        QCOMPARE(rig.w->Lbl_Lap.caption(), QStringLiteral("4周目"));
        QVERIFY(syncing);  // the window did not wait for it
        hold = false;
        letGo.release();
        const QByteArray file = rig.file();
        QCOMPARE(lapsIn(file), (QList<int>{1, 2, 3}));
        const std::lock_guard lock(mediumMutex);
        QCOMPARE(medium, file);
        QVERIFY(!onWindowThread);
    }

    void finishWaitsForTheMediumOnlySoLong_data()
    {
        QTest::addColumn<QString>("medium");
        QTest::addColumn<int>("waitMs");  // what finish may wait
        QTest::addColumn<int>("lost");
        QTest::addColumn<bool>("abandoned");
        // A network mount whose server is gone: the sync of lap 2 does not return while the
        // test holds it, and lap 3 waits behind it.
        QTest::newRow("hung") << "hung" << 100 << 2 << true;
        // A folder nothing can be made in: the three rows are refused to the end.
        QTest::newRow("refusing") << "refusing" << 60000 << 3 << false;
    }

    void finishWaitsForTheMediumOnlySoLong()
    {
        QFETCH(QString, medium);
        QFETCH(int, waitMs);
        QFETCH(int, lost);
        QFETCH(bool, abandoned);

        // Shared with the writer's thread, which may outlive the test's frame.
        struct Hold {
            QSemaphore letGo;
            std::atomic<bool> on{false};
            std::atomic<bool> waiting{false};
            std::atomic<bool> expired{false};
        };
        auto hold = std::make_shared<Hold>();
        auto sync = [hold](QFileDevice& file) {
            if (hold->on) {
                hold->waiting = true;
                hold->expired = !hold->letGo.tryAcquire(1, 60000);
            }
            return DurableFile::syncData(file);
        };
        QTemporaryDir tmp;
        QVERIFY(QFile(tmp.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
        const bool hung = medium == QLatin1String("hung");
        auto rig = std::make_unique<LogRig>(tmp.filePath(hung ? QStringLiteral("laps") : QStringLiteral("file/laps")),
                                            std::move(sync));
        rig->start(1);
        rig->lap(1);
        hold->on = hung;
        rig->lap(2, false);
        if (hung)
            QTRY_VERIFY(hold->waiting);
        rig->lap(3, false);

        const int boxes = rig->shownLogBoxes();
        const LapLogWriter::Ending ending = rig->log.finish(std::chrono::milliseconds(waitMs));
        QVERIFY(!hold->expired);  // it did not wait for the medium
        QCOMPARE(ending.lost, lost);
        QCOMPARE(ending.abandoned, abandoned);
        QCOMPARE(rig->log.finish(std::chrono::milliseconds(waitMs)).lost, lost);
        QCOMPARE(rig->logBoxes(), boxes);  // nothing more is told
        // The log and its window go while the thread still waits; let go, it ends on its own
        // state alone.
        rig.reset();
        hold->on = false;
        hold->letGo.release();
        QTRY_VERIFY_WITH_TIMEOUT(hold.use_count() == 1, 60000);
    }
};

QTEST_GUILESS_MAIN(LapLogTest)
#include "test_lap_log.moc"
