// The watch on the message file after an editing: each way an editor saves gives one call, and
// what is not a save of the file gives none.
#include "platform/file_save_watch.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

class FileSaveWatchTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void savesAreSeenOnce_data()
    {
        QTest::addColumn<QString>("written");  // the file written, relative to the folder
        QTest::addColumn<bool>("renamedOver");
        QTest::addColumn<int>("calls");
        QTest::newRow("written in place, twice") << "OutMess.txt" << false << 2;
        QTest::newRow("renamed over, twice") << "OutMess.txt" << true << 2;
        QTest::newRow("another file of the folder") << "Rivect.ini" << false << 0;
    }
    void savesAreSeenOnce()
    {
        QFETCH(QString, written);
        QFETCH(bool, renamedOver);
        QFETCH(int, calls);
        QTemporaryDir dir;
        const QString mess = dir.filePath(QStringLiteral("OutMess.txt"));
        const auto save = [&](const QString& path, const QByteArray& bytes) {
            if (renamedOver) {
                QSaveFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(bytes);
                QVERIFY(f.commit());
            } else {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
                f.write(bytes);
            }
        };
        save(mess, "");
        int seen = 0;
        FileSaveWatch watch(mess, [&] { ++seen; });
        save(dir.filePath(written), "A\r\n");
        QTRY_COMPARE(seen, calls / 2);
        save(dir.filePath(written), "B\r\n");  // renamed over, the file is a new inode: still watched
        QTRY_COMPARE(seen, calls);
        // No further call once the writes have settled, nor for a removal.
        QFile::remove(mess);
        QTest::qWait(500);
        QCOMPARE(seen, calls);
    }
};

QTEST_GUILESS_MAIN(FileSaveWatchTest)
#include "test_file_save_watch.moc"
