// The folder of Rivect.ini and OutMess.txt: the program folder while it can be written and is
// not an installed one, with the user's copies only compared, else the user's folder for saving
// with the program's files read while the user has no copy; and a plain report when nothing
// can be written.
#include "config/config_folder.h"
#include "config/messages.h"
#include "config/settings.h"
#include "fakes/file_bytes.h"
#include "platform/cp932.h"
#include "platform/user_folder.h"
#include "read_only_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray iniWithHost(const char* host)
{
    return "[Other]\r\nx=1\r\n[" + Cp932::encode(Settings::kSection) + "]\r\nHostIPNo=" + host + "\r\n";
}

// Dates the file an hour back: the other copy is then the newer one, whatever the resolution
// of the file system's clock.
void makeOlder(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
}

} // namespace

class TestConfigFolder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rule_data();
    void rule();
    void platformParts();
    void readingOrder_data();
    void readingOrder();
    void editorGetsTheUsersCopy();
    void portableCopyKeepsItsOwnFiles_data();
    void portableCopyKeepsItsOwnFiles();
};

void TestConfigFolder::rule_data()
{
    // program: "writable" or "read-only"; user: how <tmp>/user/Rivect can be made.
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("writable");

    QTest::newRow("writable program folder: the one place, the user's folder not even created")
        << "writable" << false << "none" << "program" << true;
    QTest::newRow("installed program folder, writable as root: never written, the user's folder")
        << "writable" << true << "creatable" << "user" << true;
    QTest::newRow("read-only program folder: the user's folder, created")
        << "read-only" << false << "creatable" << "user" << true;
    QTest::newRow("nothing writable, no user folder: the program folder, reported")
        << "read-only" << false << "blocked" << "program" << false;
    QTest::newRow("nothing writable, a read-only user folder: its files are still read first")
        << "read-only" << false << "read-only" << "user" << false;
    QTest::newRow("installed, root without a usable home: the program folder is still never written")
        << "writable" << true << "blocked" << "user" << false;
    QTest::newRow("installed, root in another user's home (sudo -E): no folder of root's left there")
        << "writable" << true << "someone else's" << "user" << false;
}

void TestConfigFolder::rule()
{
    QFETCH(QString, program);
    QFETCH(bool, installed);
    QFETCH(QString, user);
    QFETCH(QString, chosen);
    QFETCH(bool, writable);

    QTemporaryDir dir;
    const QString programFolder = dir.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(programFolder));
    QString userFolder = dir.filePath(QStringLiteral("user/Rivect"));
    if (user == QLatin1String("blocked")) {
        // A regular file where the folder would have to be: nobody, root included, can create it.
        QVERIFY(QFile(dir.filePath(QStringLiteral("user"))).open(QIODevice::WriteOnly));
    }
    if (user == QLatin1String("someone else's")) {
        if (geteuid() != 0)
            QSKIP("only root's own folders are at stake");
        QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("user"))));
        QVERIFY(::chown(QFile::encodeName(dir.filePath(QStringLiteral("user"))).constData(), 65534, 65534) == 0);
    }

    std::unique_ptr<ReadOnlyFolder> readOnlyProgram;
    std::unique_ptr<ReadOnlyFolder> readOnlyUser;
    if (program == QLatin1String("read-only")) {
        readOnlyProgram = std::make_unique<ReadOnlyFolder>(programFolder, QString(), QByteArray());
        if (!readOnlyProgram->available())
            QSKIP("cannot make a folder read-only here (root outside the sandbox)");
    }
    if (user == QLatin1String("read-only")) {
        QVERIFY(QDir().mkpath(userFolder));
        readOnlyUser = std::make_unique<ReadOnlyFolder>(userFolder, QStringLiteral("Rivect.ini"), QByteArray("[x]\r\n"));
        QVERIFY(readOnlyUser->available());
    }

    // Looking only, as the set-up check does, foretells the same choice and makes nothing.
    const bool userExisted = QFileInfo::exists(userFolder);
    const ConfigFolder foretold = chooseConfigFolder(programFolder, userFolder, installed, FolderLook::LookOnly);
    QCOMPARE(QFileInfo::exists(userFolder), userExisted);
    const ConfigFolder result = chooseConfigFolder(programFolder, userFolder, installed);
    QCOMPARE(foretold.path, result.path);
    QCOMPARE(foretold.unwritable, result.unwritable);

    QCOMPARE(result.path, chosen == QLatin1String("program") ? programFolder : userFolder);
    QVERIFY(!writable || QFileInfo(result.path).isDir());
    // The program's files are read while the user has no copy; a portable copy's own files are
    // the only ones it reads, the user's folder only compared.
    QCOMPARE(result.prepared, chosen == QLatin1String("program") ? QString() : programFolder);
    QCOMPARE(result.apart, chosen == QLatin1String("program") ? userFolder : QString());
    // When nothing can be written, every folder tried is named, the program folder first, for
    // the operator's message.
    QCOMPARE(result.unwritable.size(), writable ? 0 : 2);
    QVERIFY(writable || result.unwritable[0] == programFolder);
    // The test write leaves nothing behind, and no folder is made that is not used.
    QCOMPARE(entries(programFolder), QStringList());
    if (user == QLatin1String("none") || user == QLatin1String("someone else's"))
        QVERIFY(!QFileInfo::exists(userFolder));

    // A start with this choice writes its files where it said, and never into an installed
    // program's folder.
    PublicConst pub;
    pub.Pub_IniPath = result.filePath(Settings::kFileName);
    pub.iniPreparedPath = result.preparedPath(Settings::kFileName);
    pub.Pub_MessPath = result.filePath(Messages::kFileName);
    pub.messPreparedPath = result.preparedPath(Messages::kFileName);
    Ini_ReadHost(pub);
    Mess_Load(pub);
    QCOMPARE(pub.Pub_HostIP, Settings::kDefaultHostIP);
    QCOMPARE(entries(programFolder).size(), writable && chosen == QLatin1String("program") ? 2 : 0);
}

void TestConfigFolder::platformParts()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored: ~/.config instead.
    QTemporaryDir dir;
    const QByteArray saved[] = {qgetenv("XDG_CONFIG_HOME"), qgetenv("HOME")};
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    qputenv("HOME", QFile::encodeName(dir.path()));
    QCOMPARE(userConfigFolder(), dir.filePath(QStringLiteral(".config/Rivect")));
    qputenv("XDG_CONFIG_HOME", saved[0]);
    qputenv("HOME", saved[1]);

    // Installed means under /usr once links are resolved.
    QVERIFY(QFile::link(QStringLiteral("/usr/bin"), dir.filePath(QStringLiteral("bin-link"))));
    QVERIFY(isInstalledProgramFolder(dir.filePath(QStringLiteral("bin-link"))));
    QVERIFY(!isInstalledProgramFolder(QStringLiteral("/usrbin")));
    QVERIFY(!isInstalledProgramFolder(dir.path()));
}

void TestConfigFolder::readingOrder_data()
{
    // Copies of Rivect.ini before the start ("" = none); a host address entered in the first
    // run ("" = none); the address read at the first and at the next start.
    QTest::addColumn<QByteArray>("userCopy");
    QTest::addColumn<QByteArray>("besideProgram");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("next");

    QTest::newRow("the user's copy is read first") << iniWithHost("127.0.0.2") << iniWithHost("127.0.0.3") << ""
                                                   << "127.0.0.2" << "127.0.0.2";
    QTest::newRow("no user's copy: the one beside the program")
        << QByteArray() << iniWithHost("127.0.0.3") << "" << "127.0.0.3" << "127.0.0.3";
    QTest::newRow("a saved copy wins at the next start")
        << QByteArray() << iniWithHost("127.0.0.3") << "127.0.0.4" << "127.0.0.3" << "127.0.0.4";
}

void TestConfigFolder::readingOrder()
{
    QFETCH(QByteArray, userCopy);
    QFETCH(QByteArray, besideProgram);
    QFETCH(QString, entered);
    QFETCH(QString, first);
    QFETCH(QString, next);

    QTemporaryDir dir;
    const QString programFolder = dir.filePath(QStringLiteral("program"));
    const QString userFolder = dir.filePath(QStringLiteral("user"));
    QVERIFY(QDir().mkpath(programFolder) && QDir().mkpath(userFolder));
    if (!userCopy.isEmpty())
        writeBytes(userFolder + "/Rivect.ini", userCopy);
    writeBytes(programFolder + "/Rivect.ini", besideProgram);

    // Installed and run by root: the program folder can be written, and never is.
    auto startWith = [&](PublicConst& pub) {
        const ConfigFolder files = chooseConfigFolder(programFolder, userFolder, true);
        pub.Pub_IniPath = files.filePath(Settings::kFileName);
        pub.iniPreparedPath = files.preparedPath(Settings::kFileName);
        Ini_ReadHost(pub);
    };
    PublicConst pub;
    startWith(pub);
    QCOMPARE(pub.Pub_HostIP, first);
    if (!entered.isEmpty()) {
        QVERIFY(Ini_Write(pub, Settings::kSection, Settings::kKey, entered) != 0);
        // The copy saved keeps what else the prepared file holds.
        QVERIFY(readBytes(userFolder + "/Rivect.ini").startsWith("[Other]\r\nx=1\r\n"));
    }
    PublicConst later;
    startWith(later);
    QCOMPARE(later.Pub_HostIP, next);

    QCOMPARE(entries(programFolder), QStringList{QStringLiteral("Rivect.ini")});
    QCOMPARE(readBytes(programFolder + "/Rivect.ini"), besideProgram);
}

void TestConfigFolder::editorGetsTheUsersCopy()
{
    QTemporaryDir dir;
    PublicConst pub;
    pub.Pub_MessPath = dir.filePath(QStringLiteral("user.txt"));
    pub.messPreparedPath = dir.filePath(QStringLiteral("prepared.txt"));
    writeBytes(pub.messPreparedPath, "#\r\nprepared\r\n");

    Mess_Load(pub);
    QCOMPARE(pub.Pub_MessList, QStringList({QString(), QStringLiteral("prepared")}));
    QVERIFY(!QFile::exists(pub.Pub_MessPath));  // reading writes nothing

    // The editor opens the user's copy, made from the prepared file, and its save is what the
    // next load reads; the prepared file stays as it was.
    QCOMPARE(messFileForEditing(pub), pub.Pub_MessPath);
    QCOMPARE(readBytes(pub.Pub_MessPath), QByteArray("#\r\nprepared\r\n"));
    writeBytes(pub.Pub_MessPath, "edited\r\n");
    Mess_Load(pub);
    QCOMPARE(pub.Pub_MessList, QStringList({QString(), QStringLiteral("edited")}));
    QCOMPARE(readBytes(pub.messPreparedPath), QByteArray("#\r\nprepared\r\n"));
}

void TestConfigFolder::portableCopyKeepsItsOwnFiles_data()
{
    // Rivect.ini in the shared user's folder before ("" = none); whether a first start finds
    // the program folder read-only and saves 127.0.0.4 there; the address entered at the start
    // with a writable program folder ("" = none); whether that start tells of two copies.
    QTest::addColumn<QByteArray>("userCopy");
    QTest::addColumn<bool>("readOnlyFirst");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<bool>("told");

    const QByteArray otherInstallation = "[" + Cp932::encode(Settings::kSection) + "]\r\nHostIPNo=127.0.0.9\r\n";
    QTest::newRow("saved in the user's folder while read-only, then writable: the program's copy, both named")
        << QByteArray() << true << QString() << true;
    QTest::newRow("equal copies: nothing to tell") << iniWithHost("127.0.0.3") << false << QString() << false;
    QTest::newRow("another installation's copy in the shared folder is never copied over the stick's")
        << otherInstallation << false << QStringLiteral("127.0.0.5") << true;
}

void TestConfigFolder::portableCopyKeepsItsOwnFiles()
{
    QFETCH(QByteArray, userCopy);
    QFETCH(bool, readOnlyFirst);
    QFETCH(QString, entered);
    QFETCH(bool, told);

    QTemporaryDir dir;
    const QString programFolder = dir.filePath(QStringLiteral("program"));
    const QString userFolder = dir.filePath(QStringLiteral("user"));
    QVERIFY(QDir().mkpath(programFolder) && QDir().mkpath(userFolder));
    const QString besideProgram = programFolder + "/Rivect.ini";
    const QString usersCopy = userFolder + "/Rivect.ini";
    writeBytes(besideProgram, iniWithHost("127.0.0.3"));
    if (!userCopy.isEmpty())
        writeBytes(usersCopy, userCopy);
    // The shared copy is always the newer one: no file time may decide.
    makeOlder(besideProgram);

    // The program folder's turn to be read-only is played by the installed flag: the rule test
    // shows both give the same choice.
    auto start = [&](bool programWritable, const QString& address, QString* notice) {
        const ConfigFolder files = chooseConfigFolder(programFolder, userFolder, !programWritable);
        PublicConst pub;
        pub.Pub_IniPath = files.filePath(Settings::kFileName);
        pub.iniPreparedPath = files.preparedPath(Settings::kFileName);
        Ini_ReadHost(pub);
        if (notice)
            *notice = differingCopiesNotice(files);
        if (!address.isEmpty())
            Ini_Write(pub, Settings::kSection, Settings::kKey, address);
        return pub.Pub_HostIP;
    };

    if (readOnlyFirst) {
        QCOMPARE(start(false, QStringLiteral("127.0.0.4"), nullptr), QStringLiteral("127.0.0.3"));
        QVERIFY(readBytes(usersCopy).contains("HostIPNo=127.0.0.4"));
    }
    const QByteArray sharedBefore = readBytes(usersCopy);
    QString notice;
    QCOMPARE(start(true, entered, &notice), QStringLiteral("127.0.0.3"));
    QCOMPARE(notice.contains(besideProgram) && notice.contains(usersCopy), told);
    QCOMPARE(notice.isEmpty(), !told);
    if (!entered.isEmpty())
        QCOMPARE(start(true, QString(), nullptr), entered);
    // The stick's own lines stay, and the shared folder is neither read from nor written.
    QVERIFY(readBytes(besideProgram).startsWith("[Other]\r\nx=1\r\n"));
    QCOMPARE(readBytes(usersCopy), sharedBefore);
    QCOMPARE(entries(userFolder), sharedBefore.isEmpty() ? QStringList() : QStringList{QStringLiteral("Rivect.ini")});
}

QTEST_GUILESS_MAIN(TestConfigFolder)
#include "test_config_folder.moc"
