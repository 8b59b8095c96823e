#pragma once

#include "client/client_window.h"
#include "state/public_const.h"
#include "platform/dialogs.h"
#include "platform/editor_launcher.h"
#include "platform/local_address.h"
#include "platform/system_clock.h"
#include "platform/linux/tick_thread_timer.h"
#include "platform/udp_socket.h"

#include <QTemporaryDir>
#include <memory>

/// A clock that never changes the machine's time: it reads the time as the real one does and
/// refuses to be set.
class BenchClock : public ISystemClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    bool setDate(const QDate&) override { return false; }
    bool setTime(const QDateTime&) override { return false; }
};

/// Dialogs that answer at once: OK, or Yes to a question; Cancel to an input box.
class BenchDialogs : public IDialogs {
public:
    int msgBox(const QString&, int style, const QString&) override
    {
        return (style & 0xF) == MsgBox::vbYesNo ? MsgBox::vbYes : MsgBox::vbOK;
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return QString(); }
};

/// No editor is ever started.
class BenchEditor : public IEditorLauncher {
public:
    std::unique_ptr<IEditorProcess> open(const QString&) override { return nullptr; }
};

/// The loopback address.
class BenchLocalAddress : public ILocalAddress {
public:
    QString localIPv4(const QString&) const override { return QStringLiteral("127.0.0.1"); }
};

/// A socket that remembers nothing: takeText decodes one preset datagram, sends are encoded
/// and counted.
class BenchSocket : public IUdpSocket {
public:
    void setRemoteHost(const QString& host) override { m_host = host; }
    QString remoteHost() const override { return m_host; }
    void setLocalPort(uint16_t port) override { m_local = port; }
    uint16_t localPort() const override { return m_local; }
    void setRemotePort(uint16_t port) override { m_remote = port; }
    uint16_t remotePort() const override { return m_remote; }
    SocketError bind() override { m_bound = true; return SocketError::None; }
    bool isBound() const override { return m_bound; }
    void close() override { m_bound = false; }
    SocketError sendText(const QString& text) override;
    SocketError takeText(QString& text) override;

    QByteArray incoming;    ///< the datagram every takeText takes
    qint64 sentBytes = 0;   ///< bytes of every datagram sent, encoded
    qint64 sends = 0;

private:
    QString m_host;
    uint16_t m_local = 0;
    uint16_t m_remote = 0;
    bool m_bound = false;
};

/// A loaded client window whose host is 127.0.0.1, on the sockets given (real or not) and the
/// real tick thread; dialogs, clock, editor and local address are the quiet stand-ins above.
class ClientRig {
public:
    /// Builds the window, told of its runs through observer when given, and, unless a view is
    /// to do it, runs its load.
    ClientRig(IUdpSocket& winsock1, IUdpSocket& winsockChker, bool load = true,
              std::function<void(const ClientWindow&, RunEvent)> observer = {});
    ~ClientRig();
    ClientRig(const ClientRig&) = delete;
    ClientRig& operator=(const ClientRig&) = delete;

    /// Chooses car (1 to 5) and presses Start; false when the run did not start.
    bool start(int car);
    /// Presses Start again (the stop question is answered Yes).
    void stop();

    PublicConst pub;
    TickThreadTimer tick;
    BenchClock clock;
    BenchDialogs dialogs;
    BenchEditor editor;
    BenchLocalAddress local;
    QTemporaryDir folder;
    std::unique_ptr<ClientWindow> window;
};

/// A lap report as the host simulator builds it: clock time equal to end time (the PC's clock
/// is never asked to change), and hostText after column 60.
QString benchLapReport(bool forced, int lapNo, int lastLapMs, const QString& hostText = QString());
