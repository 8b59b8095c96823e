// The folder of Rivect.ini and OutMess.txt: the program folder while it can be written, else
// the user's configuration folder, and a plain report when neither can.
#include "config/config_folder.h"
#include "read_only_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestConfigFolder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rule_data();
    void rule();
};

void TestConfigFolder::rule_data()
{
    // program: "writable" or "read-only"; user: how <config home>/Rivect can be made, where the
    // config home is XDG_CONFIG_HOME ("xdg/...") or the default <home>/.config ("home/...").
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("writable");

    QTest::newRow("writable program folder: the user's folder is not even created")
        << "writable" << "xdg" << "none" << "program" << true;
    QTest::newRow("read-only program folder: XDG_CONFIG_HOME/Rivect, created")
        << "read-only" << "xdg" << "xdg/Rivect" << "xdg/Rivect" << true;
    QTest::newRow("read-only program folder, relative XDG_CONFIG_HOME ignored: ~/.config/Rivect")
        << "read-only" << "relative" << "home/.config/Rivect" << "home/.config/Rivect" << true;
    QTest::newRow("nothing writable, no user folder: the program folder, reported")
        << "read-only" << "blocked" << "none" << "program" << false;
    QTest::newRow("nothing writable, a read-only user folder: its files are still read")
        << "read-only" << "xdg" << "read-only" << "xdg/Rivect" << false;
}

void TestConfigFolder::rule()
{
    QFETCH(QString, program);
    QFETCH(QString, xdg);
    QFETCH(QString, user);
    QFETCH(QString, chosen);
    QFETCH(bool, writable);

    QTemporaryDir dir;
    const QString programFolder = dir.filePath(QStringLiteral("program"));
    const QString home = dir.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(programFolder) && QDir().mkpath(home));

    QString xdgHome = dir.filePath(QStringLiteral("xdg"));
    if (xdg == QLatin1String("relative")) {
        xdgHome = QStringLiteral("xdg");
    } else if (xdg == QLatin1String("blocked")) {
        // A regular file where the folder would have to be: nobody, root included, can create it.
        xdgHome = dir.filePath(QStringLiteral("blocker/config"));
        QVERIFY(QFile(dir.filePath(QStringLiteral("blocker"))).open(QIODevice::WriteOnly));
    }

    std::unique_ptr<ReadOnlyFolder> readOnlyProgram;
    std::unique_ptr<ReadOnlyFolder> readOnlyUser;
    if (program == QLatin1String("read-only")) {
        readOnlyProgram = std::make_unique<ReadOnlyFolder>(programFolder, QString(), QByteArray());
        if (!readOnlyProgram->available())
            QSKIP("cannot make a folder read-only here (root outside the sandbox)");
    }
    if (user == QLatin1String("read-only")) {
        QVERIFY(QDir().mkpath(xdgHome + QStringLiteral("/Rivect")));
        readOnlyUser = std::make_unique<ReadOnlyFolder>(xdgHome + QStringLiteral("/Rivect"), QStringLiteral("Rivect.ini"),
                                                        QByteArray("[x]\r\n"));
        QVERIFY(readOnlyUser->available());
    }

    const ConfigFolder result = chooseConfigFolder(programFolder, xdgHome, home);

    const QString expected = chosen == QLatin1String("program") ? programFolder : dir.filePath(chosen);
    QCOMPARE(result.path, expected);
    QVERIFY(QFileInfo(result.path).isDir());
    // When nothing can be written, every folder tried is named, the program folder first, for
    // the operator's message.
    QCOMPARE(result.unwritable.size(), writable ? 0 : 2);
    QVERIFY(writable || result.unwritable[0] == programFolder);
    // The test write leaves nothing behind, and no folder is made that is not used.
    QCOMPARE(QDir(programFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    if (user == QLatin1String("none"))
        QVERIFY(!QFileInfo::exists(xdgHome + QStringLiteral("/Rivect")));
}

QTEST_GUILESS_MAIN(TestConfigFolder)
#include "test_config_folder.moc"
