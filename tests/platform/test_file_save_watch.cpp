// The watch on the message file after an editing: each way an editor saves gives exactly one
// call, and what is not a save of the file gives none.
#include "platform/file_save_watch.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Change { InPlace, RenamedOverTwice, OtherFile, Removed };

void writeInPlace(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void renameOver(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    QVERIFY(f.commit());
}

} // namespace

Q_DECLARE_METATYPE(Change)

class FileSaveWatchTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void savesAreSeenOnce_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<int>("calls");
        QTest::newRow("written in place") << Change::InPlace << 1;
        QTest::newRow("renamed over, twice") << Change::RenamedOverTwice << 2;
        QTest::newRow("another file of the folder") << Change::OtherFile << 0;
        QTest::newRow("removed") << Change::Removed << 0;
    }
    void savesAreSeenOnce()
    {
        QFETCH(Change, change);
        QFETCH(int, calls);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OutMess.txt"));
        writeInPlace(path, "A\r\n");
        int seen = 0;
        FileSaveWatch watch(path, [&] { ++seen; });

        switch (change) {
        case Change::InPlace: writeInPlace(path, "B\r\n"); break;
        case Change::RenamedOverTwice:
            renameOver(path, "B\r\n");
            QTRY_COMPARE(seen, 1);
            renameOver(path, "C\r\n");  // the file is a new inode now: still watched
            break;
        case Change::OtherFile: writeInPlace(dir.filePath(QStringLiteral("Rivect.ini")), "x"); break;
        case Change::Removed: QVERIFY(QFile::remove(path)); break;
        }
        QTRY_COMPARE(seen, calls);
        QTest::qWait(500);  // and no second call once the writes have settled
        QCOMPARE(seen, calls);
    }
};

QTEST_GUILESS_MAIN(FileSaveWatchTest)
#include "test_file_save_watch.moc"
