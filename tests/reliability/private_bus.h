#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>

namespace live {

/// A D-Bus daemon of the test's own, listening in a temporary folder: never the system bus,
/// and with no service that could be started on demand.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir="
                + m_dir.path().toUtf8()
                + "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                  "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                  "<allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                        QStringLiteral("--config-file=") + config});
        if (m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    /// The daemon's address; empty when it did not start.
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

/// The time service as a peer on a private bus: owns its name and takes SetTime calls, noting
/// each absolute time asked for; it sets nothing. It answers, refuses, or never answers.
class TimeServicePeer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
public:
    enum class Mode { Answer, Refuse, Silent };

    TimeServicePeer(const QString& address, Mode mode)
        : m_mode(mode), m_bus(QDBusConnection::connectToBus(address, QStringLiteral("time-service-peer")))
    {
        m_ok = m_bus.registerObject(QStringLiteral("/org/freedesktop/timedate1"), this, QDBusConnection::ExportAllSlots)
            && m_bus.registerService(QStringLiteral("org.freedesktop.timedate1"));
    }
    ~TimeServicePeer() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.timedate1"));
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/timedate1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("time-service-peer"));
    }

    /// Whether the name and the object are on the bus.
    bool ok() const { return m_ok; }
    /// Milliseconds since the epoch of each SetTime taken, oldest first.
    QList<qint64> asked;

public Q_SLOTS:
    void SetTime(qlonglong usecUtc, bool relative, bool interactive)
    {
        asked.append(relative || interactive ? -1 : usecUtc / 1000);
        if (m_mode == Mode::Refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed"));
        else if (m_mode == Mode::Silent)
            setDelayedReply(true);  // and the reply never comes
    }

private:
    Mode m_mode;
    QDBusConnection m_bus;
    bool m_ok = false;
};

} // namespace live
