// The lap log when its medium fails it: a folder that cannot be written, a file gone from its
// path or replaced there, a medium pulled and put back, a full disk.
#include "log_rig.h"
#include "fakes/file_bytes.h"
#include "small_disk.h"

#include <QDir>
#include <QOperatingSystemVersion>
#include <QSaveFile>
#include <QTest>

class LapLogFaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
            QSKIP("no small disk can be made here (a tmpfs needs root in the sandbox's mount namespace)");
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
};

QTEST_GUILESS_MAIN(LapLogFaultsTest)
#include "test_lap_log_faults.moc"
