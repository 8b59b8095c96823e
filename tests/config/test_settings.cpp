#include "fakes/file_bytes.h"
#include "config/settings.h"
#include "platform/cp932.h"
#include "read_only_folder.h"
#include "unreadable_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QByteArray kSectionLine = "[\x8A\xC2\x8B\xAB\x90\xDD\x92\xE8]";

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void noFileWritesDefault();
    void emptyValueIsReplacedByDefault();
    void valueTakenAsIs_data();
    void valueTakenAsIs();
    void writeThenRead();
    void unwritableFolderKeepsDefaultForThisRun();
    void unreadablePreparedFileIsNotReplaced();
    void utf8FileStaysUtf8_data();
    void utf8FileStaysUtf8();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    PublicConst m_pub;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_pub.Pub_IniPath = m_dir->filePath(Settings::kFileName);
    m_pub.iniPreparedPath.clear();
    m_pub.Pub_HostIP.clear();
    m_pub.Pub_IniResult = -99;
}

void TestSettings::noFileWritesDefault()
{
    Ini_ReadHost(m_pub);
    QCOMPARE(m_pub.Pub_HostIP, Settings::kDefaultHostIP);
    QVERIFY(m_pub.Pub_IniResult != 0);
    QCOMPARE(m_pub.Pub_IniBufLen, 1024);
    QCOMPARE(m_pub.Pub_IniBuffer.size(), 1024);
    QCOMPARE(m_pub.Pub_IniSection, QStringLiteral("環境設定"));
    QCOMPARE(m_pub.Pub_IniKey, QStringLiteral("HostIPNo"));
    QCOMPARE(readBytes(m_pub.Pub_IniPath), kSectionLine + "\r\nHostIPNo=" + Settings::kDefaultHostIP.toLatin1() + "\r\n");

    // The next start reads the address back from the file, without writing again.
    PublicConst next;
    next.Pub_IniPath = m_pub.Pub_IniPath;
    Ini_ReadHost(next);
    QCOMPARE(next.Pub_HostIP, Settings::kDefaultHostIP);
    QCOMPARE(next.Pub_IniResult, int32_t(Settings::kDefaultHostIP.size()));
}

void TestSettings::emptyValueIsReplacedByDefault()
{
    writeBytes(m_pub.Pub_IniPath, "[Other]\r\nx=1\r\n" + kSectionLine + "\r\nHostIPNo=\r\n");
    Ini_ReadHost(m_pub);
    QCOMPARE(m_pub.Pub_HostIP, Settings::kDefaultHostIP);
    QCOMPARE(readBytes(m_pub.Pub_IniPath),
             "[Other]\r\nx=1\r\n" + kSectionLine + "\r\nHostIPNo=" + Settings::kDefaultHostIP.toLatin1() + "\r\n");
}

void TestSettings::valueTakenAsIs_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("host");
    QTest::newRow("address") << QByteArray("10.0.0.5") << "10.0.0.5";
    QTest::newRow("blanks trimmed") << QByteArray("  10.0.0.5 \t") << "10.0.0.5";
    QTest::newRow("not an address") << QByteArray("abc") << "abc";
    QTest::newRow("longer than the buffer") << QByteArray(1500, '7') << QString(1023, u'7');
}

void TestSettings::valueTakenAsIs()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, host);
    const QByteArray file = kSectionLine + "\r\nHostIPNo=" + value + "\r\n";
    writeBytes(m_pub.Pub_IniPath, file);
    Ini_ReadHost(m_pub);
    QCOMPARE(m_pub.Pub_HostIP, host);
    QCOMPARE(m_pub.Pub_IniResult, int32_t(host.size()));
    QCOMPARE(readBytes(m_pub.Pub_IniPath), file);  // nothing written back
}

void TestSettings::writeThenRead()
{
    QVERIFY(Ini_Write(m_pub, Settings::kSection, Settings::kKey, QStringLiteral("10.20.30.40")) != 0);
    Ini_ReadHost(m_pub);
    QCOMPARE(m_pub.Pub_HostIP, QStringLiteral("10.20.30.40"));
}

void TestSettings::unwritableFolderKeepsDefaultForThisRun()
{
    const QString folder = m_dir->filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkdir(folder));
    ReadOnlyFolder readOnly(folder, QString(), QByteArray());
    if (!readOnly.available())
        QSKIP("cannot make a folder read-only here (root outside the sandbox)");
    m_pub.Pub_IniPath = QDir(folder).filePath(Settings::kFileName);

    Ini_ReadHost(m_pub);
    QCOMPARE(m_pub.Pub_HostIP, Settings::kDefaultHostIP);
    QCOMPARE(m_pub.Pub_IniResult, 0);
    QVERIFY(!QFile::exists(m_pub.Pub_IniPath));
    QCOMPARE(Ini_Write(m_pub, Settings::kSection, Settings::kKey, QStringLiteral("10.1.1.1")), 0);
}

void TestSettings::unreadablePreparedFileIsNotReplaced()
{
    // The first start meets a file prepared beside the program that it cannot read; the
    // user's folder is empty and writable.
    const QString program = m_dir->filePath(QStringLiteral("program"));
    const QString user = m_dir->filePath(QStringLiteral("user"));
    QVERIFY(QDir().mkdir(program) && QDir().mkdir(user));
    for (const QString& folder : {m_dir->path(), program, user})
        QVERIFY(UnreadableFile::openToAll(folder));
    m_pub.Pub_IniPath = QDir(user).filePath(Settings::kFileName);
    m_pub.iniPreparedPath = QDir(program).filePath(Settings::kFileName);
    const QByteArray prepared = kSectionLine + "\r\nHostIPNo=127.0.0.3\r\n";
    writeBytes(m_pub.iniPreparedPath, prepared);

    {
        UnreadableFile unreadable(m_pub.iniPreparedPath);
        if (!unreadable.available())
            QSKIP("cannot make a file unreadable here");
        Ini_ReadHost(m_pub);
    }
    // The default serves this run, nothing is saved over the prepared file, and the notice
    // names the file and the reason.
    QCOMPARE(m_pub.Pub_HostIP, Settings::kDefaultHostIP);
    QVERIFY(!QFile::exists(m_pub.Pub_IniPath));
    QCOMPARE(readBytes(m_pub.iniPreparedPath), prepared);
    const QString notice = settingsUnreadableNotice(m_pub);
    QVERIFY2(notice.contains(m_pub.iniPreparedPath) && notice.contains(UnreadableFile::reason()), qPrintable(notice));

    // Once it can be read, the next start takes the prepared address, and tells nothing.
    PublicConst next;
    next.Pub_IniPath = m_pub.Pub_IniPath;
    next.iniPreparedPath = m_pub.iniPreparedPath;
    Ini_ReadHost(next);
    QCOMPARE(next.Pub_HostIP, QStringLiteral("127.0.0.3"));
    QCOMPARE(settingsUnreadableNotice(next), QString());
}

void TestSettings::utf8FileStaysUtf8_data()
{
    // A file an editor saved as UTF-8, and what it holds after the start and after a host
    // address is entered. "%1" stands for the address written.
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("after");

    const QString head = QStringLiteral("; ピット用\r\n[環境設定]\r\n");
    QTest::newRow("Notepad: UTF-8 with a byte-order mark")
        << head + "HostIPNo=127.0.0.7\r\n" << true << "127.0.0.7" << head + "HostIPNo=%1\r\n";
    QTest::newRow("gedit, nano: UTF-8 without one")
        << head + "HostIPNo=127.0.0.7\r\n" << false << "127.0.0.7" << head + "HostIPNo=%1\r\n";
    QTest::newRow("empty value: the default written in UTF-8")
        << head + "HostIPNo=\n" << false << Settings::kDefaultHostIP << head + "HostIPNo=%1\n";
    QTest::newRow("no section: added in UTF-8")
        << QStringLiteral("[メモ]\r\nx=あ\r\n") << true << Settings::kDefaultHostIP
        << QStringLiteral("[メモ]\r\nx=あ\r\n[環境設定]\r\nHostIPNo=%1\r\n");
}

void TestSettings::utf8FileStaysUtf8()
{
    QFETCH(QString, file);
    QFETCH(bool, bom);
    QFETCH(QString, host);
    QFETCH(QString, after);

    const QByteArray mark = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    writeBytes(m_pub.Pub_IniPath, mark + file.toUtf8());
    Ini_ReadHost(m_pub);
    QCOMPARE(m_pub.Pub_HostIP, host);
    QCOMPARE(readBytes(m_pub.Pub_IniPath), mark + after.arg(host).toUtf8());

    QVERIFY(Ini_Write(m_pub, Settings::kSection, Settings::kKey, QStringLiteral("127.0.0.9")) != 0);
    QCOMPARE(readBytes(m_pub.Pub_IniPath), mark + after.arg(QStringLiteral("127.0.0.9")).toUtf8());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
