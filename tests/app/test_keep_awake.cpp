// Keeping a run awake on Linux, against a stand-in desktop idle inhibition on one private bus and a
// stand-in logind on another: held from hold to release, given back when the answers come late,
// gone when the process ends however it ends, and told by --check-setup without holding anything.
#include "private_bus.h"

#include "platform/linux/keep_awake_desktop.h"
#include "platform/platform_services.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <QTest>

#include <algorithm>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr int kSlowMs = 20000;  // a sanitizer build starting a process on a loaded machine
}

/// org.freedesktop.ScreenSaver or logind's Manager, as far as inhibition goes. A cookie lives until
/// UnInhibit or until its holder leaves the bus, as a desktop keeps it; an inhibitor lives while
/// any copy of the descriptor handed out is open. Answers may be kept back until told.
class StandIn : public QDBusVirtualObject {
public:
    bool keepAnswers = false;
    QList<QDBusMessage> kept;
    QMap<uint, QString> cookies;  ///< live cookies and the unique name holding each
    QList<int> inhibitors;        ///< our end of each descriptor handed out
    int questions = 0;

    ~StandIn() override
    {
        for (const int fd : inhibitors)
            close(fd);
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("UnInhibit")) {
            cookies.remove(message.arguments().value(0).toUInt());
            return connection.send(message.createReply());
        }
        ++questions;
        if (keepAnswers)
            kept << message;
        else
            answer(message, connection);
        return true;
    }
    void answerKept(const QDBusConnection& connection)
    {
        for (const QDBusMessage& message : std::exchange(kept, {}))
            answer(message, connection);
    }
    /// Inhibitors whose descriptor is still open somewhere.
    int heldInhibitors() const
    {
        return int(std::count_if(inhibitors.begin(), inhibitors.end(), [](int fd) {
            pollfd p{fd, POLLIN, 0};
            return poll(&p, 1, 0) == 0;
        }));
    }

private:
    void answer(const QDBusMessage& message, const QDBusConnection& connection)
    {
        const QVariantList args = message.arguments();
        if (message.interface() == QLatin1String("org.freedesktop.ScreenSaver") && args.size() == 2) {
            const uint cookie = 100 + questions;
            cookies.insert(cookie, message.service());
            auto* gone = new QDBusServiceWatcher(message.service(), connection,
                                                 QDBusServiceWatcher::WatchForUnregistration, this);
            connect(gone, &QDBusServiceWatcher::serviceUnregistered, this,
                    [this](const QString& name) {
                        cookies.removeIf([&](QMap<uint, QString>::iterator it) { return it.value() == name; });
                    });
            connection.send(message.createReply(QVariant::fromValue(cookie)));
        } else if (args.size() == 4 && args[0] == QLatin1String("idle") && args[3] == QLatin1String("block")) {
            int ends[2];
            QVERIFY(pipe2(ends, O_CLOEXEC) == 0);
            inhibitors << ends[0];
            connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
            close(ends[1]);
        } else {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), {}));
        }
    }
};

class KeepAwakeTest : public QObject {
    Q_OBJECT
    PrivateBus m_sessionBus;
    PrivateBus m_systemBus;
    StandIn m_screenSaver;
    StandIn m_login;
    QDBusConnection m_desktop{QString()};
    QDBusConnection m_logind{QString()};

    /// Puts the stand-ins on their buses as a row says: the screen saver at path (none when empty).
    void offer(const QString& screenSaverPath, bool login)
    {
        if (!screenSaverPath.isEmpty()) {
            QVERIFY(m_desktop.registerVirtualObject(screenSaverPath, &m_screenSaver));
            QVERIFY(m_desktop.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        }
        if (login) {
            QVERIFY(m_logind.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &m_login));
            QVERIFY(m_logind.registerService(QStringLiteral("org.freedesktop.login1")));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!m_sessionBus.address().isEmpty() && !m_systemBus.address().isEmpty());
        m_desktop = QDBusConnection::connectToBus(m_sessionBus.address(), QStringLiteral("desktop"));
        m_logind = QDBusConnection::connectToBus(m_systemBus.address(), QStringLiteral("logind"));
        QVERIFY(m_desktop.isConnected() && m_logind.isConnected());
    }
    void cleanup()
    {
        m_desktop.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        m_logind.unregisterService(QStringLiteral("org.freedesktop.login1"));
        for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"})
            m_desktop.unregisterObject(QString::fromLatin1(path));
        m_logind.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
        m_screenSaver.keepAnswers = m_login.keepAnswers = false;
    }

    void heldFromHoldToRelease_data()
    {
        QTest::addColumn<QString>("screenSaverPath");
        QTest::addColumn<bool>("login");
        QTest::addColumn<bool>("answersLate");  // the run is stopped before the services answer
        QTest::addColumn<int>("told");          // lines saying nothing holds, each run
        const QString path = QStringLiteral("/org/freedesktop/ScreenSaver");
        QTest::newRow("both") << path << true << false << 0;
        QTest::newRow("the screen saver at /ScreenSaver alone") << QStringLiteral("/ScreenSaver") << false << false << 0;
        QTest::newRow("logind alone") << QString() << true << false << 0;
        QTest::newRow("neither: told in each run") << QString() << false << false << 1;
        QTest::newRow("stopped before the answers") << path << true << true << 0;
    }
    void heldFromHoldToRelease()
    {
        QFETCH(QString, screenSaverPath);
        QFETCH(bool, login);
        QFETCH(bool, answersLate);
        QFETCH(int, told);
        offer(screenSaverPath, login);
        m_screenSaver.keepAnswers = m_login.keepAnswers = answersLate;
        QStringList lines;
        auto keepAwake = std::make_unique<DesktopKeepAwake>(DesktopKeepAwake::Access{
            m_sessionBus.address(), m_systemBus.address(), [&lines](const QString& line) { lines << line; }});
        const int questionsBefore = m_screenSaver.questions;
        const int inhibitorsBefore = int(m_login.inhibitors.size());
        for (int run = 0; run < 2; ++run) {
            keepAwake->hold();
            if (answersLate) {
                QTRY_VERIFY(m_screenSaver.kept.size() == 1 && m_login.kept.size() == 1);
                keepAwake->release();
                m_screenSaver.answerKept(m_desktop);
                m_login.answerKept(m_logind);
            } else {
                QTRY_COMPARE(int(m_screenSaver.cookies.size()), screenSaverPath.isEmpty() ? 0 : 1);
                QTRY_COMPARE(m_login.heldInhibitors(), login ? 1 : 0);
                QTRY_COMPARE(int(lines.size()), told * (run + 1));
                keepAwake->release();
            }
            QTRY_COMPARE(int(m_screenSaver.cookies.size()), 0);
            QTRY_COMPARE(m_login.heldInhibitors(), 0);
        }
        // Each run asked each service that is there once, and told at most once.
        QCOMPARE(m_screenSaver.questions - questionsBefore, screenSaverPath.isEmpty() ? 0 : 2);
        QCOMPARE(int(m_login.inhibitors.size()) - inhibitorsBefore, login ? 2 : 0);
        keepAwake.reset();
        QCOMPARE(int(lines.size()), 2 * told);
    }

    void goneWhenTheProcessEnds_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("the program ends") << false;
        QTest::newRow("the program is killed") << true;
    }
    void goneWhenTheProcessEnds()
    {
        QFETCH(bool, killed);
        offer(QStringLiteral("/org/freedesktop/ScreenSaver"), true);
        // The platform's own services in a child of ours, on the buses the environment names.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionBus.address());
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_systemBus.address());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold")});
        QTRY_COMPARE_WITH_TIMEOUT(int(m_screenSaver.cookies.size()), 1, kSlowMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_login.heldInhibitors(), 1, kSlowMs);
        if (killed)
            child.kill();
        else
            child.closeWriteChannel();
        QVERIFY(child.waitForFinished(kSlowMs));
        QCOMPARE(child.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
        QTRY_COMPARE(int(m_screenSaver.cookies.size()), 0);
        QTRY_COMPARE(m_login.heldInhibitors(), 0);
    }

    void checkSetupTellsWithoutHolding_data()
    {
        QTest::addColumn<QString>("screenSaverPath");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QString>("expected");
        const QString item = QStringLiteral(" a run can keep this PC awake");
        QTest::newRow("neither") << QString() << false << QStringLiteral("✗") + item;
        QTest::newRow("the screen saver") << QStringLiteral("/ScreenSaver") << false << QStringLiteral("✓") + item;
        QTest::newRow("logind") << QString() << true << QStringLiteral("✓") + item;
    }
    void checkSetupTellsWithoutHolding()
    {
        QFETCH(QString, screenSaverPath);
        QFETCH(bool, login);
        QFETCH(QString, expected);
        offer(screenSaverPath, login);
        const int questions = m_screenSaver.questions + m_login.questions;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionBus.address());
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_systemBus.address());
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(RIVECT_PROGRAM), {QStringLiteral("--check-setup")});
        // The stand-ins live in this thread: the test turns its loop while the program asks.
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, kSlowMs);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.contains(expected), qPrintable(out));
        QCOMPARE(m_screenSaver.questions + m_login.questions, questions);
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--hold") == 0) {
        // Held as the program holds it, until standard input closes or the process is killed.
        const PlatformServices platform = makePlatformServices();
        platform.keepAwake->hold();
        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        return QCoreApplication::exec();
    }
    KeepAwakeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_keep_awake.moc"
