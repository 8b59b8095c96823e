#pragma once

#include "client/client_window.h"
#include "client/datagram.h"
#include "fakes/fake_services.h"
#include "fakes/network_namespace.h"
#include "platform/qt_udp_socket.h"
#include "platform/linux/tick_thread_timer.h"
#include "ui/timer_binding.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>


namespace live {

/// Milliseconds on the monotonic clock since the first call in this process.
inline qint64 nowMs()
{
    using namespace std::chrono;
    static const steady_clock::time_point origin = steady_clock::now();
    return duration_cast<milliseconds>(steady_clock::now() - origin).count();
}


/// Resident memory of this process in KiB, from /proc/self/status.
inline qint64 vmRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

/// Runs the event loop for ms milliseconds.
inline void serveEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// The real tick timer, counting every callback it runs.
class CountingTickTimer : public ITickTimer {
public:
    int32_t timeSetEvent(int delayMs, std::function<void()> callback) override
    {
        return m_timer.timeSetEvent(delayMs, [this, cb = std::move(callback)] {
            ticks.fetch_add(1, std::memory_order_relaxed);
            cb();
        });
    }
    void timeKillEvent(int32_t id) override { m_timer.timeKillEvent(id); }

    std::atomic<qint64> ticks{0};

private:
    TickThreadTimer m_timer;
};

/// A real loopback socket that counts what the window does with it.
class RecordingSocket : public IUdpSocket {
public:
    RecordingSocket()
    {
        m_socket.dataArrival = [this] {
            if (dataArrival)
                dataArrival();
        };
    }
    void setRemoteHost(const QString& host) override { m_socket.setRemoteHost(host); }
    QString remoteHost() const override { return m_socket.remoteHost(); }
    void setLocalPort(uint16_t port) override { m_socket.setLocalPort(port); }
    uint16_t localPort() const override { return m_socket.localPort(); }
    void setRemotePort(uint16_t port) override { m_socket.setRemotePort(port); }
    uint16_t remotePort() const override { return m_socket.remotePort(); }
    SocketError bind() override
    {
        ++binds;
        const SocketError e = m_socket.bind();
        if (e != SocketError::None)
            ++bindFailures;
        return e;
    }
    bool isBound() const override { return m_socket.isBound(); }
    void close() override
    {
        ++closes;
        m_socket.close();
    }
    SocketError sendText(const QString& text) override
    {
        const SocketError e = m_socket.sendText(text);
        ++(e == SocketError::None ? sends : sendFailures);
        if (e == SocketError::None)
            sendTimes.push_back(nowMs());
        if (e == SocketError::HostUnreachable)
            ++unreachable;
        return e;
    }
    SocketError takeText(QString& text) override
    {
        const SocketError e = m_socket.takeText(text);
        ++(e == SocketError::None ? takes : takeFailures);
        return e;
    }

    int binds = 0, bindFailures = 0, closes = 0;
    qint64 sends = 0, sendFailures = 0, unreachable = 0, takes = 0, takeFailures = 0;
    std::vector<qint64> sendTimes;  ///< when each datagram went out, nowMs()

    /// Datagrams sent within [from, to) of nowMs().
    int sentBetween(qint64 from, qint64 to) const
    {
        int n = 0;
        for (qint64 t : sendTimes)
            n += (t >= from && t < to) ? 1 : 0;
        return n;
    }

private:
    QtUdpSocket m_socket;
};

/// A loaded client window on real loopback sockets, the real tick timer and its five timers
/// on precise QTimers; dialogs, clock, editor and local address are fakes unless given.
struct LiveWindow {
    QTemporaryDir folder;
    PublicConst pub;
    CountingTickTimer tick;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress local{QStringLiteral("127.0.0.1")};
    RecordingSocket winsock1;
    RecordingSocket chker;
    std::unique_ptr<ClientWindow> window;
    std::vector<std::unique_ptr<TimerBinding>> bindings;
    std::vector<qint64> chkTimes;  ///< when Time_Chk ran, nowMs()

    explicit LiveWindow(IEditorLauncher* editorLauncher = nullptr, ISystemClock* realClock = nullptr,
                        std::function<void()> endProgram = [] {})
    {
        pub.Pub_IniPath = folder.filePath(QStringLiteral("Rivect.ini"));
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        window = std::make_unique<ClientWindow>(
            pub, ClientServices{tick, realClock ? *realClock : clock, dialogs, editorLauncher ? *editorLauncher : editor,
                                local, winsock1, chker, folder.path(), [] { return QSize(15360, 11520); },
                                std::move(endProgram)});
        ClientWindow& w = *window;
        w.Form_Load();
        bind(w.Time_Jikan, [&w] { w.Time_Jikan_Timer(); });
        bind(w.Time_HostChk, [&w] { w.Time_HostChk_Timer(); });
        bind(w.Time_Chk, [this, &w] {
            w.Time_Chk_Timer();
            chkTimes.push_back(nowMs());
        });
        bind(w.Time_Blink, [&w] { w.Time_Blink_Timer(); });
        bind(w.Time_SendData, [&w] { w.Time_SendData_Timer(); });
    }
    ~LiveWindow()
    {
        bindings.clear();
        window.reset();
    }

    ClientWindow& w() { return *window; }

    /// Chooses car n and presses Start; true when the window is then measuring.
    bool start(int car = 3)
    {
        w().Cmb_CarNo.setText(Datagram::carText(car));
        w().Btn_Start_Click();
        return w().Btn_Start.caption() == QLatin1String("Stop");
    }

    /// Times Time_Chk ran within [from, to).
    int chkBetween(qint64 from, qint64 to) const
    {
        int n = 0;
        for (qint64 t : chkTimes)
            n += (t >= from && t < to) ? 1 : 0;
        return n;
    }

private:
    void bind(TimerModel& model, std::function<void()> handler)
    {
        bindings.push_back(std::make_unique<TimerBinding>(model, std::move(handler)));
    }
};

} // namespace live
