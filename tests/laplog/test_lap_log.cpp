// The lap log on a client window with fake services: the rows of a run, one file per run,
// the file name, a folder that cannot be written or goes away, and the writer thread.
#include "client/datagram.h"
#include "fakes/fake_client_services.h"
#include "laplog/lap_log.h"
#include "laplog/lap_log_format.h"
#include "fakes/file_bytes.h"
#include "small_disk.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QOperatingSystemVersion>
#include <QSaveFile>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace {

/// A loaded client window whose runs a lap log keeps in folder.
struct LogRig : FakeClientServices {
    explicit LogRig(const QString& folder, LapLogWriter::Sync sync = DurableFile::syncData)
        : log(folder, std::move(sync))
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        ClientServices s = services(program.path());
        s.runObserver = [this](const ClientWindow& w, RunEvent e) { log.onRunEvent(w, e); };
        w = std::make_unique<ClientWindow>(pub, std::move(s));
        w->Form_Load();
    }
    void start(int car)
    {
        w->Cmb_CarNo.setText(Datagram::carText(car));
        w->Btn_Start_Click();
        log.waitForWriter();
    }
    /// Stop, answered Yes.
    void stop() { w->Btn_Start_Click(); }
    /// The boxes shown about the log, those whose text starts with start when given.
    int logBoxes(const QString& start = {})
    {
        log.waitForWriter();
        return shownLogBoxes(start);
    }
    /// As logBoxes, without waiting for the writer.
    int shownLogBoxes(const QString& start = {})
    {
        QCoreApplication::processEvents();
        return int(std::count_if(dialogs.boxes.begin(), dialogs.boxes.end(), [&](const auto& b) {
            return b.title == QStringLiteral("ラップ記録") && b.prompt.startsWith(start);
        }));
    }
    void report(bool forced, int lap, int last, int best, int ave, QTime clock, QTime end, const QString& text = {})
    {
        sock.deliver(Datagram::lapReportText(forced, lap, last, best, ave, QDate(2026, 5, 3), clock, end, text));
    }
    /// A new lap (lap numbers must rise) with nothing else of interest, by default waiting
    /// until the writer has dealt with it.
    void lap(int n, bool wait = true)
    {
        report(false, n, 80000 + n, 80001, 80002, QTime(10, 1, n), QTime(10, 1, n));
        if (wait)
            log.waitForWriter();
    }
    /// The file of the run, once the writer has caught up.
    QByteArray file()
    {
        log.waitForWriter();
        QFile f(log.currentFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }

    QTemporaryDir program;
    PublicConst pub;
    LapLog log;
    std::unique_ptr<ClientWindow> w;
};

const QByteArray kStart = "\xEF\xBB\xBFreceived,lap,lap_ms,best_ms,average_ms,diff_ms,end_time,host_text,"
                          "driver_message\r\n";

/// The lap numbers of the rows of a log file that starts with the header and ends with a
/// whole row; -1 for a row without the nine fields (no text of these rows has a comma), {-1}
/// for a file that does not start and end so.
QList<int> lapsIn(const QByteArray& file)
{
    if (!file.startsWith(kStart) || !file.endsWith("\r\n"))
        return {-1};
    if (file.size() == kStart.size())
        return {};
    QList<int> laps;
    const QList<QByteArray> rows = file.mid(kStart.size()).chopped(2).split('\n');
    for (const QByteArray& row : rows)
        laps << (row.count(',') == 8 ? row.split(',').value(1).toInt() : -1);
    return laps;
}

} // namespace

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

    void unwritableFolderIsToldOncePerRun()
    {
        QTemporaryDir tmp;
        // A folder below a plain file can be made by nobody, root included.
        QVERIFY(QFile(tmp.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
        LogRig rig(tmp.filePath(QStringLiteral("file/laps")));
        rig.start(1);
        QCOMPARE(rig.logBoxes(), 1);
        QVERIFY(rig.dialogs.boxes.last().prompt.startsWith(QStringLiteral("ラップ記録を書き込めません。")));
        for (int lap = 1; lap <= 3; ++lap)
            rig.report(false, lap, 80000 + lap, 80001, 80002, QTime(10, 1, lap), QTime(10, 1, lap));
        QCOMPARE(rig.logBoxes(), 1);
        // The run went on as without a log.
        QCOMPARE(rig.w->Lbl_Lap.caption(), QStringLiteral("4周目"));
        QVERIFY(rig.w->Time_SendData.enabled());
        rig.stop();
        rig.start(1);
        QCOMPARE(rig.logBoxes(), 2);
    }

    void reopenedAtItsPath_data()
    {
        QTest::addColumn<QString>("loss");
        QTest::addColumn<QList<int>>("laps");  // of the file the rows go to in the end
        QTest::addColumn<bool>("beside");      // that file is a new one beside the path, "_2"
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("resumed");
        // Laps 1 and 2 are on the medium, then the loss; lap 9 comes last.
        // The folder removed, twice: made again with a new file, its header first.
        QTest::newRow("folder removed twice") << "removed" << QList<int>{9} << false << 0 << 1;
        // The medium pulled (nothing can be made at the path) and put back with the file as it
        // was, a torn row at its end: the rows kept meanwhile follow the last whole one.
        QTest::newRow("medium pulled and put back") << "pulled" << QList<int>{1, 2, 3, 4, 9} << false << 1 << 1;
        // Each failure after a recovery is told again.
        QTest::newRow("medium pulled twice") << "pulled twice" << QList<int>{1, 2, 3, 4, 5, 6, 9} << false << 2 << 2;
        // An editor that saves by renaming its copy over the file, a note added at its end.
        QTest::newRow("saved over by an editor") << "editor" << QList<int>{1, 2, 9} << true << 0 << 0;
        // An editor that saves into the file itself, a note added at its end.
        QTest::newRow("edited in place") << "in place" << QList<int>{1, 2, 9} << true << 0 << 0;
        // Another medium at the same place, holding a file of that name.
        QTest::newRow("another medium") << "another" << QList<int>{1, 2, 3, 9} << true << 1 << 0;
        // The medium back with the file short of what was synced.
        QTest::newRow("found shorter") << "shorter" << QList<int>{1, 2, 3, 9} << true << 1 << 0;
    }

    void reopenedAtItsPath()
    {
        QFETCH(QString, loss);
        QFETCH(QList<int>, laps);
        QFETCH(bool, beside);
        QFETCH(int, failures);
        QFETCH(int, resumed);

        QTemporaryDir tmp;
        const QString stick = tmp.filePath(QStringLiteral("stick"));
        const QString path = stick + QStringLiteral("/laps/2026-05-03_100000_1.csv");
        LogRig rig(stick + QStringLiteral("/laps"));
        rig.start(1);
        rig.lap(1);
        rig.lap(2);
        const QByteArray written = rig.file();
        // Windows keeps a file that is open from being removed or renamed: only a change in
        // place can be staged there.
        const QString aside = path + QStringLiteral(".aside");
        if (loss != QLatin1String("in place")) {
            if (!QFile::rename(path, aside) && QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows)
                QSKIP("an open file cannot be renamed here");
            QVERIFY(QFile::rename(aside, path));
        }

        // Pulled: nothing can be made where the folder was. Put back: with a file at the path.
        auto pull = [&] { QVERIFY(QDir(stick).removeRecursively() && QFile(stick).open(QIODevice::WriteOnly)); };
        auto putBack = [&](const QByteArray& bytes) {
            QVERIFY(QFile::remove(stick) && QDir().mkpath(stick + QStringLiteral("/laps")));
            writeBytes(path, bytes);
        };
        QByteArray left;  // what is at the path when the rows went beside it
        if (loss == QLatin1String("removed")) {
            QVERIFY(QDir(stick).removeRecursively());
            rig.lap(3);
            QVERIFY(QDir(stick).removeRecursively());
        } else if (loss == QLatin1String("pulled") || loss == QLatin1String("pulled twice")) {
            pull();
            rig.lap(3);
            rig.lap(4);
            putBack(written + "2026-05-03T10:00:00.000,3,800");  // lap 3 torn
            if (loss == QLatin1String("pulled twice")) {
                rig.lap(5);
                const QByteArray second = readBytes(path);
                pull();
                rig.lap(6);
                putBack(second);
            }
        } else if (loss == QLatin1String("editor")) {
            left = written + "メモ: pit stop on lap 2\r\n";
            QSaveFile save(path);
            QVERIFY(save.open(QIODevice::WriteOnly));
            save.write(left);
            QVERIFY(save.commit());
        } else if (loss == QLatin1String("in place")) {
            left = written + "メモ: pit stop on lap 2\r\n";
            QFile edited(path);
            QVERIFY(edited.open(QIODevice::ReadWrite | QIODevice::Truncate));
            QCOMPARE(edited.write(left), left.size());
        } else {
            pull();
            rig.lap(3);
            left = loss == QLatin1String("shorter") ? written.left(written.indexOf("\r\n", kStart.size()) + 2)  // lap 1
                                                    : kStart + "2026-04-26T14:00:00.000,7,91000,90000,90500,500,,,\r\n";
            putBack(left);
        }
        rig.lap(9);
        QCOMPARE(lapsIn(rig.file()), laps);
        if (beside) {
            QCOMPARE(rig.log.currentFile(), stick + QStringLiteral("/laps/2026-05-03_100000_1_2.csv"));
            QCOMPARE(readBytes(path), left);  // left as it was
        } else {
            QCOMPARE(rig.log.currentFile(), path);
        }
        QCOMPARE(rig.logBoxes(QStringLiteral("ラップ記録を書き込めません。")), failures);
        QCOMPARE(rig.logBoxes(QStringLiteral("ラップ記録を同じ場所に開き直し")), resumed);
        QCOMPARE(rig.logBoxes(QStringLiteral("ラップ記録は別のファイルに書き込みます: ") + QDir::toNativeSeparators(rig.log.currentFile())),
                 beside ? 1 : 0);
    }

    void fullDiskCutsTheTornRow()
    {
        QTemporaryDir tmp;
        SmallDisk disk(tmp.path());
        if (!disk.available())
            QSKIP("cannot mount a small file system here (not root in the sandbox)");
        LogRig rig(tmp.path());
        rig.start(1);
        QVERIFY(disk.fill());
        // Rows of about 1600 bytes: the third runs past the file's first block, the one block
        // the full disk lets it have, and is torn there.
        const QString text(1500, QLatin1Char('x'));
        for (int lap = 1; lap <= 4; ++lap) {
            rig.report(false, lap, 80000 + lap, 80001, 80002, QTime(10, 1, lap), QTime(10, 1, lap), text);
            rig.log.waitForWriter();
        }
        rig.stop();
        QCOMPARE(lapsIn(rig.file()), (QList<int>{1, 2}));
        QCOMPARE(rig.logBoxes(QStringLiteral("ラップ記録を書き込めません（ディスクがいっぱいです）。")), 1);
        QCOMPARE(rig.logBoxes(), 1);
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
};

QTEST_GUILESS_MAIN(LapLogTest)
#include "test_lap_log.moc"
