#include "fakes/file_bytes.h"
#include "platform/cp932.h"
#include "platform/profile_file.h"
#include "read_only_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kSection = QStringLiteral("環境設定");
const QString kKey = QStringLiteral("HostIPNo");
const QByteArray kSectionLine = "[\x8A\xC2\x8B\xAB\x90\xDD\x92\xE8]";

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void read_data();
    void read();
    void readTruncatesToBuffer();
    void writeCreatesFile();
    void writeKeepsOtherLines_data();
    void writeKeepsOtherLines();
    void writeThenReadJapanese();
    void writeFailsInReadOnlyFolder();
    void utf16FileIsUnreadable();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestProfileFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("Rivect.ini"));
}

void TestProfileFile::read_data()
{
    QTest::addColumn<QByteArray>("file");  // "<none>": no file at all
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray host = kSectionLine + "\r\nHostIPNo=10.1.2.3\r\n";
    QTest::newRow("no file") << QByteArray("<none>") << kSection << kKey << "dflt";
    QTest::newRow("empty file") << QByteArray() << kSection << kKey << "dflt";
    QTest::newRow("shift-jis section") << host << kSection << kKey << "10.1.2.3";
    QTest::newRow("other section") << host << QStringLiteral("環境") << kKey << "dflt";
    QTest::newRow("missing key") << host << kSection << QStringLiteral("Other") << "dflt";
    QTest::newRow("empty value") << QByteArray(kSectionLine + "\r\nHostIPNo=\r\n") << kSection << kKey << "";
    QTest::newRow("blanks around") << QByteArray(kSectionLine + "\r\n  HostIPNo \t=  10.1.2.3 \t\r\n") << kSection
                                   << kKey << "10.1.2.3";
    QTest::newRow("double quotes") << QByteArray(kSectionLine + "\r\nHostIPNo= \"a b\" \r\n") << kSection << kKey
                                   << "a b";
    QTest::newRow("single quotes") << QByteArray(kSectionLine + "\r\nHostIPNo='x'\r\n") << kSection << kKey << "x";
    QTest::newRow("one quote only") << QByteArray(kSectionLine + "\r\nHostIPNo=\"x\r\n") << kSection << kKey
                                    << "\"x";
    QTest::newRow("ascii case ignored") << QByteArray("[NetWork]\nHOSTIPNO=abc\n") << QStringLiteral("network")
                                        << QStringLiteral("hostipno") << "abc";
    QTest::newRow("full-width case kept") << QByteArray("[\x82\x60]\nk=v\n") << QStringLiteral("ａ")
                                          << QStringLiteral("k") << "dflt";
    QTest::newRow("key of another section") << QByteArray("[A]\nk=1\n[B]\nj=2\n") << QStringLiteral("B")
                                            << QStringLiteral("k") << "dflt";
    QTest::newRow("first section and key win") << QByteArray("[A]\nk=1\nk=2\n[A]\nk=3\n") << QStringLiteral("A")
                                               << QStringLiteral("k") << "1";
    // 0x5D and 0x5B are trail bytes of the first two characters of this section name.
    QTest::newRow("bracket trail bytes") << QByteArray("[\x83\x5D\x81\x5B\x83\x93]\r\nk=v\r\n")
                                         << QStringLiteral("ゾーン") << QStringLiteral("k") << "v";
    QTest::newRow("backslash trail byte in key") << QByteArray("[S]\r\n\x95\x5C\x8E\xA6=on\r\n") << QStringLiteral("S")
                                                 << QStringLiteral("表示") << "on";
    QTest::newRow("japanese value") << QByteArray("[S]\nk=\x83\x68\x83\x89\n") << QStringLiteral("S")
                                    << QStringLiteral("k") << QStringLiteral("ドラ");
    QTest::newRow("last line without ending") << QByteArray("[S]\r\nk=v") << QStringLiteral("S")
                                              << QStringLiteral("k") << "v";
}

void TestProfileFile::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    if (file != "<none>")
        writeBytes(m_path, file);

    QString buffer = QStringLiteral("stale");
    const int32_t n = ProfileFile::GetPrivateProfileString(section, key, QStringLiteral("dflt"), buffer, 1024, m_path);
    QCOMPARE(buffer, expected);
    QCOMPARE(n, int32_t(expected.size()));
}

void TestProfileFile::readTruncatesToBuffer()
{
    const QString exact(1023, u'x');
    writeBytes(m_path, "[S]\r\nshort=" + exact.toLatin1() + "\r\nlong=" + exact.toLatin1() + "yz\r\n");
    QString buffer;
    QCOMPARE(ProfileFile::GetPrivateProfileString("S", "short", "", buffer, 1024, m_path), 1023);
    QCOMPARE(buffer, exact);
    QCOMPARE(ProfileFile::GetPrivateProfileString("S", "long", "", buffer, 1024, m_path), 1023);
    QCOMPARE(buffer, exact);
    QCOMPARE(ProfileFile::GetPrivateProfileString("S", "long", "", buffer, 4, m_path), 3);
    QCOMPARE(buffer, QStringLiteral("xxx"));
    QCOMPARE(ProfileFile::GetPrivateProfileString("S", "none", "default", buffer, 4, m_path), 3);
    QCOMPARE(buffer, QStringLiteral("def"));
}

void TestProfileFile::writeCreatesFile()
{
    QVERIFY(ProfileFile::WritePrivateProfileString(kSection, kKey, "192.168.1.10", m_path) != 0);
    QCOMPARE(readBytes(m_path), kSectionLine + "\r\nHostIPNo=192.168.1.10\r\n");
}

void TestProfileFile::writeKeepsOtherLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    // Other sections, comments, LF-only endings, bytes that do not decode, a final line
    // without ending: all must come back unchanged.
    const QByteArray head = "; comment \x80\xFF\n[Other]\r\nHostIPNo=keep\n\n";
    const QByteArray tail = "\r\n[Next]\nx = 1 \r\nlast";
    QTest::newRow("replace value") << QByteArray(head + kSectionLine + "\r\nA=1\nhostipno = old \r\nB=2" + tail)
                                   << QByteArray(head + kSectionLine + "\r\nA=1\nHostIPNo=NEW\r\nB=2" + tail);
    QTest::newRow("replace keeps LF") << QByteArray(kSectionLine + "\nHostIPNo=old\nz=9")
                                      << QByteArray(kSectionLine + "\nHostIPNo=NEW\nz=9");
    QTest::newRow("add key before blank line") << QByteArray(head + kSectionLine + "\r\nA=1\r\n" + tail)
                                               << QByteArray(head + kSectionLine + "\r\nA=1\r\nHostIPNo=NEW\r\n" + tail);
    QTest::newRow("add key to last section") << QByteArray(kSectionLine + "\nA=1")
                                             << QByteArray(kSectionLine + "\nA=1\r\nHostIPNo=NEW\r\n");
    QTest::newRow("add section") << QByteArray(head + "[Next]\nx=1")
                                 << QByteArray(head + "[Next]\nx=1\r\n" + kSectionLine + "\r\nHostIPNo=NEW\r\n");
}

void TestProfileFile::writeKeepsOtherLines()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    writeBytes(m_path, before);
    QVERIFY(ProfileFile::WritePrivateProfileString(kSection, kKey, "NEW", m_path) != 0);
    QCOMPARE(readBytes(m_path), after);
}

void TestProfileFile::writeThenReadJapanese()
{
    const QString value = QStringLiteral("ゾーン表示€");
    QVERIFY(ProfileFile::WritePrivateProfileString(QStringLiteral("ゾーン"), QStringLiteral("表示"), value, m_path));
    QString buffer;
    ProfileFile::GetPrivateProfileString(QStringLiteral("ゾーン"), QStringLiteral("表示"), "", buffer, 1024, m_path);
    QCOMPARE(buffer, QStringLiteral("ゾーン表示?"));
    QCOMPARE(readBytes(m_path), Cp932::encode(QStringLiteral("[ゾーン]\r\n表示=ゾーン表示?\r\n")));
}

void TestProfileFile::writeFailsInReadOnlyFolder()
{
    const QString folder = m_dir->filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkdir(folder));
    const QByteArray old = kSectionLine + "\r\nHostIPNo=10.0.0.1\r\n";
    ReadOnlyFolder readOnly(folder, QStringLiteral("Rivect.ini"), old);
    if (!readOnly.available())
        QSKIP("cannot make a folder read-only here (root outside the sandbox)");
    const QString path = QDir(folder).filePath(QStringLiteral("Rivect.ini"));

    QCOMPARE(ProfileFile::WritePrivateProfileString(kSection, kKey, "10.9.9.9", path), 0);
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Rivect.ini")});
}

void TestProfileFile::utf16FileIsUnreadable()
{
    // Saved as UTF-16 by an older editor: told as unreadable, and left as it is.
    QString text = u'\xFEFF' + QStringLiteral("[環境設定]\r\nHostIPNo=10.0.0.1\r\n");
    const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    writeBytes(m_path, utf16);
    QString value, error;
    ProfileFile::GetPrivateProfileString(kSection, kKey, "default", value, 256, m_path, &error);
    QCOMPARE(value, QStringLiteral("default"));
    QVERIFY2(error.contains(QLatin1String("UTF-16")), qPrintable(error));
    QCOMPARE(ProfileFile::WritePrivateProfileString(kSection, kKey, "10.9.9.9", m_path), 0);
    QCOMPARE(readBytes(m_path), utf16);
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profile_file.moc"
