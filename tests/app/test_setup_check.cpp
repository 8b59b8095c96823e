// rivect --check-setup and the other terminal answers, run as the program itself without a
// display, against stand-in polkit and time services on a bus of the test's own.
#include "private_bus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

/// How a stand-in service treats a question.
enum class Answer { Yes, Password, No, Silent };
Q_DECLARE_METATYPE(Answer)

/// polkit's Authority and systemd-timedated's NTP property, answering as a row says. polkit says
/// yes only to the question the client must ask: set-time, for the asking process, never interactive.
class StandInServices : public QDBusVirtualObject {
public:
    Answer polkit = Answer::Yes;
    Answer ntpOn = Answer::No;
    qint64 askingPid = 0;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("CheckAuthorization"))
            return checkAuthorization(message, connection);
        if (message.member() == QLatin1String("Get") && ntpOn != Answer::Silent)
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(ntpOn == Answer::Yes))));
        return true;  // silent: the caller waits for its timeout
    }

private:
    bool checkAuthorization(const QDBusMessage& message, const QDBusConnection& connection)
    {
        if (polkit == Answer::Silent || message.arguments().size() != 5)
            return true;
        QString kind;
        qint64 pid = -1;
        const QDBusArgument subject = message.arguments().at(0).value<QDBusArgument>();
        subject.beginStructure();
        subject >> kind;
        subject.beginMap();
        while (!subject.atEnd()) {
            QString key;
            QDBusVariant value;
            subject.beginMapEntry();
            subject >> key >> value;
            subject.endMapEntry();
            if (key == QLatin1String("pid"))
                pid = value.variant().toLongLong();
        }
        subject.endMap();
        subject.endStructure();
        const bool rightQuestion = kind == QLatin1String("unix-process") && pid == askingPid
            && message.arguments().at(1).toString() == QLatin1String("org.freedesktop.timedate1.set-time")
            && message.arguments().at(3).toUInt() == 0;
        QDBusArgument result;
        result.beginStructure();
        result << (rightQuestion && polkit == Answer::Yes) << (rightQuestion && polkit == Answer::Password);
        result.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
        result.endMap();
        result.endStructure();
        return connection.send(message.createReply(QVariant::fromValue(result)));
    }
};

class SetupCheckTest : public QObject {
    Q_OBJECT
    PrivateBus m_bus;
    StandInServices m_services;
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void answersOnTheTerminal_data();
    void answersOnTheTerminal();
    void settingsAreOnlyLookedAt_data();
    void settingsAreOnlyLookedAt();
};

void SetupCheckTest::initTestCase()
{
    QVERIFY(!m_bus.address().isEmpty());
    QDBusConnection peer = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("stand-in"));
    QVERIFY(peer.registerVirtualObject(QStringLiteral("/org/freedesktop/PolicyKit1/Authority"), &m_services));
    QVERIFY(peer.registerVirtualObject(QStringLiteral("/org/freedesktop/timedate1"), &m_services));
    QVERIFY(peer.registerService(QStringLiteral("org.freedesktop.PolicyKit1")));
    QVERIFY(peer.registerService(QStringLiteral("org.freedesktop.timedate1")));
}

void SetupCheckTest::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
}

void SetupCheckTest::answersOnTheTerminal_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("bus");
    QTest::addColumn<Answer>("polkit");
    QTest::addColumn<Answer>("ntpOn");
    QTest::addColumn<quint16>("busyPort");
    QTest::addColumn<QStringList>("expected");  // parts of the output, each must appear
    QTest::addColumn<bool>("checklist");
    QTest::addColumn<int>("status");            // -1: 0 exactly when no item failed

    const QString polkitYes = QStringLiteral("✓ polkit lets");
    const QString ntpOff = QStringLiteral("✓ automatic time synchronisation is off");
    const QStringList check{QStringLiteral("--check-setup")};
    QTest::newRow("help") << QStringList{"--help"} << false << Answer::Yes << Answer::No << quint16(0)
                          << QStringList{"--check-setup", "--lap-log <dir>", "--fill"} << false << 0;
    QTest::newRow("version beside a Qt option") << QStringList{"-platform", "xcb", "--version"} << false << Answer::Yes
                                                << Answer::No << quint16(0) << QStringList{"Rivect 1.00"} << false << 0;
    QTest::newRow("a mistake") << QStringList{"--check-setup", "--no-such"} << false << Answer::Yes << Answer::No
                               << quint16(0) << QStringList{"rivect: Unknown option 'no-such'"} << false << 1;
    QTest::newRow("granted, synchronisation off") << check << true << Answer::Yes << Answer::No << quint16(0)
                                                  << QStringList{polkitYes, ntpOff, "✓ the client's UDP ports"} << true << -1;
    QTest::newRow("synchronisation on")
        << check << true << Answer::Yes << Answer::Yes << quint16(0)
        << QStringList{polkitYes, "✗ automatic time synchronisation is off", "mend:  sudo timedatectl set-ntp false"}
        << true << 1;
    QTest::newRow("password asked") << check << true << Answer::Password << Answer::No << quint16(0)
                                    << QStringList{"✗ polkit lets", "found: only with an administrator's password",
                                                   ntpOff}
                                    << true << 1;
    QTest::newRow("refused") << check << true << Answer::No << Answer::No << quint16(0)
                             << QStringList{"✗ polkit lets", "found: refused", "    mend:  "} << true << 1;
    QTest::newRow("services silent")
        << check << true << Answer::Silent << Answer::Silent << quint16(0)
        << QStringList{"found: polkit did not answer within 3 s", "found: systemd-timedated did not answer within 3 s",
                       "mend:  sudo systemctl restart polkit"}
        << true << 1;
    QTest::newRow("no system bus") << check << false << Answer::Yes << Answer::No << quint16(0)
                                   << QStringList{"found: no system bus", "mend:  sudo systemctl start dbus"} << true << 1;
    QTest::newRow("a car port in use") << check << true << Answer::Yes << Answer::No << quint16(7031)
                                       << QStringList{"✗ the client's UDP ports", "found: in use: 7031 ",
                                                      "mend:  sudo ss -ulpn '( sport = :7031 )'"}
                                       << true << 1;
}

void SetupCheckTest::answersOnTheTerminal()
{
    QFETCH(QStringList, args);
    QFETCH(bool, bus);
    QFETCH(Answer, polkit);
    QFETCH(Answer, ntpOn);
    QFETCH(quint16, busyPort);
    QFETCH(QStringList, expected);
    QFETCH(bool, checklist);
    QFETCH(int, status);

    m_services.polkit = polkit;
    m_services.ntpOn = ntpOn;
    QUdpSocket holder;
    if (busyPort)
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, busyPort, QAbstractSocket::DontShareAddress));

    // No display at all, and a platform that would abort the program if it tried to open one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
               bus ? m_bus.address() : QStringLiteral("unix:path=/nonexistent/rivect-test-bus"));
    QProcess program;
    program.setProcessEnvironment(env);
    QEventLoop loop;
    connect(&program, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&program, &QProcess::started, [&] { m_services.askingPid = program.processId(); });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    program.start(QStringLiteral(RIVECT_PROGRAM), args);
    loop.exec();  // the stand-ins answer while the program waits

    QCOMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString all = out + QString::fromUtf8(program.readAllStandardError());
    for (const QString& part : expected)
        QVERIFY2(all.contains(part), qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(part, all)));
    // Every item gets its mark, and each failed one the command that mends it.
    const auto failed = out.count(QStringLiteral("✗ "));
    const auto held = out.count(QStringLiteral("✓ "));
    QCOMPARE(failed, out.count(QStringLiteral("    mend:  ")));
    QVERIFY2(checklist ? held + failed >= 6 : held + failed == 0, qPrintable(all));
    if (status == -1)
        status = failed == 0 ? 0 : 1;
    QVERIFY2(program.exitCode() == status, qPrintable(all));
}

void SetupCheckTest::settingsAreOnlyLookedAt_data()
{
    QTest::addColumn<bool>("preparedUnreadable");  // a Rivect.ini beside the program that cannot be read
    QTest::addColumn<QString>("expected");

    QTest::newRow("the user's folder is yet to be made")
        << false << QStringLiteral("✓ the settings folder");
    QTest::newRow("a prepared file that cannot be read")
        << true << QStringLiteral("Rivect.ini, the copy a start reads, cannot be read");
}

void SetupCheckTest::settingsAreOnlyLookedAt()
{
    QFETCH(bool, preparedUnreadable);
    QFETCH(QString, expected);

    // A copy of the program in a folder it cannot write, as an installed one: the files are to
    // be saved in the user's folder, which does not exist yet.
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkdir(program));
    QVERIFY(QFile::copy(QStringLiteral(RIVECT_PROGRAM), program + QStringLiteral("/rivect")));
    // A folder in the file's place cannot be read by anyone, root included.
    if (preparedUnreadable)
        QVERIFY(QDir().mkdir(program + QStringLiteral("/Rivect.ini")));
    const QByteArray native = QFile::encodeName(program);
    bool mounted = false;
    if (geteuid() != 0) {
        QVERIFY(::chmod(native.constData(), 0555) == 0);
    } else if (qgetenv("RIVECT_SANDBOX") == "isolated") {
        mounted = ::mount(native.constData(), native.constData(), nullptr, MS_BIND, nullptr) == 0
            && ::mount(nullptr, native.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        QVERIFY(mounted);
    } else {
        QSKIP("root needs the sandbox's own mounts for a folder it cannot write");
    }
    const QStringList before = QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/rivect-test-bus"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    QProcess check;
    check.setProcessEnvironment(env);
    check.start(program + QStringLiteral("/rivect"), {QStringLiteral("--check-setup")});
    const bool ended = check.waitForFinished(60000);
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    const QStringList after = QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (mounted)
        ::umount2(native.constData(), MNT_DETACH);
    else
        ::chmod(native.constData(), 0755);

    QVERIFY(ended);
    QVERIFY2(out.contains(expected), qPrintable(out));
    // It says it changes nothing, and it does not: no folder made, no file left.
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("config"))));
    QCOMPARE(after, before);
}

QTEST_GUILESS_MAIN(SetupCheckTest)
#include "test_setup_check.moc"
