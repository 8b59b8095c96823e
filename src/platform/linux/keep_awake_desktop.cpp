#include "platform/linux/keep_awake_desktop.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <cstdio>
#include <optional>

namespace {

const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
// Desktops publish the interface at one of these paths, most at both.
const QString kScreenSaverPaths[] = {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")};
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kApplication = QStringLiteral("Rivect");
const QString kWhy = QStringLiteral("A run is being timed");

bool noSuchObject(const QDBusError& error)
{
    return error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownInterface
        || error.type() == QDBusError::UnknownMethod;
}

void writeToStderr(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

/// The inhibitions as the worker thread holds them. Each service is asked at most once at a
/// time; an answer that comes when the run no longer wants it is given back at once.
class KeepAwakeWorker : public QObject {
public:
    KeepAwakeWorker(DesktopKeepAwake::Access access, QString connectionPrefix)
        : m_access(std::move(access)), m_prefix(std::move(connectionPrefix))
    {
        if (!m_access.tell)
            m_access.tell = writeToStderr;
    }
    ~KeepAwakeWorker() override { release(); }

    void hold()
    {
        if (!m_wanted)
            m_told = false;  // told once a run: the journal shows each run that may sleep
        m_wanted = true;
        if (!m_cookie && !m_askingScreenSaver)
            askScreenSaver(0);
        if (!m_inhibitor.isValid() && !m_askingLogin)
            askLogin();
    }

    void release()
    {
        m_wanted = false;
        giveBackScreenSaver();
        m_inhibitor = QDBusUnixFileDescriptor();  // logind ends the inhibitor when its descriptor closes
    }

private:
    // Connected on first use, here: connecting to a hung bus holds only this thread.
    QDBusConnection& bus(std::optional<QDBusConnection>& slot, const QString& address, bool session)
    {
        if (!slot) {
            const QString name = m_prefix + (session ? QStringLiteral("session") : QStringLiteral("system"));
            if (!address.isEmpty())
                slot = QDBusConnection::connectToBus(address, name);
            else
                slot = session ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
        }
        return *slot;
    }
    QDBusConnection& sessionBus() { return bus(m_session, m_access.sessionBus, true); }
    QDBusConnection& systemBus() { return bus(m_system, m_access.systemBus, false); }

    void askScreenSaver(int pathIndex)
    {
        m_askingScreenSaver = true;
        const QString path = kScreenSaverPaths[pathIndex];
        QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaver, path, kScreenSaver, QStringLiteral("Inhibit"));
        call << kApplication << kWhy;
        auto* watcher = new QDBusPendingCallWatcher(sessionBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, pathIndex](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<uint> reply = *w;
            if (reply.isError() && noSuchObject(reply.error()) && pathIndex + 1 < int(std::size(kScreenSaverPaths))) {
                askScreenSaver(pathIndex + 1);
                return;
            }
            m_askingScreenSaver = false;
            m_screenSaverWhy = reply.isError() ? reply.error().message() : QString();
            if (!reply.isError()) {
                m_cookie = reply.value();
                m_cookiePath = kScreenSaverPaths[pathIndex];
                if (!m_wanted)
                    giveBackScreenSaver();
            }
            tellIfNothingHolds();
        });
    }

    void askLogin()
    {
        m_askingLogin = true;
        QDBusMessage call = QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                                           kLogin + QStringLiteral(".Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("idle") << kApplication << kWhy << QStringLiteral("block");
        auto* watcher = new QDBusPendingCallWatcher(systemBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
            // The reply keeps a copy of the descriptor: the watcher must go for it to close.
            w->deleteLater();
            const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
            m_askingLogin = false;
            m_loginWhy = reply.isError() ? reply.error().message() : QString();
            if (!reply.isError() && m_wanted)
                m_inhibitor = reply.value();
            tellIfNothingHolds();
        });
    }

    void giveBackScreenSaver()
    {
        if (!m_cookie)
            return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kScreenSaver, m_cookiePath, kScreenSaver, QStringLiteral("UnInhibit"));
        call << *m_cookie;
        sessionBus().send(call);
        m_cookie.reset();
    }

    // A PC without either service runs as well; it may sleep, and that is said once.
    void tellIfNothingHolds()
    {
        if (m_told || !m_wanted || m_askingScreenSaver || m_askingLogin || m_cookie || m_inhibitor.isValid())
            return;
        m_told = true;
        m_access.tell(QStringLiteral("rivect: nothing keeps this PC awake during a run, it may sleep in one "
                                     "(desktop idle inhibition: %1; logind: %2)")
                          .arg(m_screenSaverWhy, m_loginWhy));
    }

    DesktopKeepAwake::Access m_access;
    const QString m_prefix;
    std::optional<QDBusConnection> m_session;
    std::optional<QDBusConnection> m_system;
    bool m_wanted = false;
    bool m_askingScreenSaver = false;
    bool m_askingLogin = false;
    std::optional<uint> m_cookie;
    QString m_cookiePath;
    QDBusUnixFileDescriptor m_inhibitor;
    QString m_screenSaverWhy;
    QString m_loginWhy;
    bool m_told = false;
};

DesktopKeepAwake::DesktopKeepAwake() : DesktopKeepAwake(Access{}) {}

DesktopKeepAwake::DesktopKeepAwake(Access access)
    : m_connectionPrefix(QStringLiteral("rivect-awake-%1-").arg(quintptr(this), 0, 16))
{
    const bool ownBuses = !access.sessionBus.isEmpty() || !access.systemBus.isEmpty();
    m_worker = new KeepAwakeWorker(std::move(access), m_connectionPrefix);
    if (!ownBuses)
        m_connectionPrefix.clear();
    m_thread = new QThread;
    m_worker->moveToThread(m_thread);
    // The worker gives back what it holds as it is deleted, in its own thread.
    QObject::connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("keep awake"));
    m_thread->start();
}

DesktopKeepAwake::~DesktopKeepAwake()
{
    m_thread->quit();
    // A bus that never answers holds the worker in its call; the end of the program does not
    // wait for it longer than this, and the system gives back what is held as the process ends.
    if (!m_thread->wait(QDeadlineTimer(3000)))
        return;
    delete m_thread;
    if (m_connectionPrefix.isEmpty())
        return;
    // Leaving the bus is what makes a desktop drop an inhibition whose give-back was not sent.
    QDBusConnection::disconnectFromBus(m_connectionPrefix + QStringLiteral("session"));
    QDBusConnection::disconnectFromBus(m_connectionPrefix + QStringLiteral("system"));
}

void DesktopKeepAwake::hold()
{
    QMetaObject::invokeMethod(m_worker, &KeepAwakeWorker::hold, Qt::QueuedConnection);
}

void DesktopKeepAwake::release()
{
    QMetaObject::invokeMethod(m_worker, &KeepAwakeWorker::release, Qt::QueuedConnection);
}
