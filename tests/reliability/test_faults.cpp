// Faults of the network around a running window, on 127.0.0.1 and, for the host without a
// route, inside the test's own network namespace: ports held by another program, a host that
// cannot be reached, a plain run with lap reports under real timers, and the link lamp there.
#include "loopback_peer.h"

#include "client/time_format.h"
#include "platform/cp932.h"

#include <QTest>
#include <QTimer>

using namespace live;

namespace {

/// Another program's socket on a UDP port.
class PortHolder {
public:
    PortHolder(uint16_t port, bool allAddresses, bool shared)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        if (shared) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
        }
        sockaddr_in a = RawSocket::address(port);
        if (allAddresses)
            a.sin_addr.s_addr = htonl(INADDR_ANY);
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~PortHolder() { release(); }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool ok() const { return m_ok; }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

/// Caption of Btn_Start and the enabled states of the run's controls and timers.
QString runState(ClientWindow& w)
{
    return QStringLiteral("%1 %2%3%4%5 %6%7").arg(w.Btn_Start.caption())
        .arg(int(w.Btn_HostIP.enabled())).arg(int(w.Btn_End.enabled())).arg(int(w.Btn_EditMess.enabled()))
        .arg(int(w.Cmb_CarNo.enabled())).arg(int(w.Time_Chk.enabled())).arg(int(w.Time_SendData.enabled()));
}

const QString kIdle = QStringLiteral("Start 1111 00");
const QString kMeasuring = QStringLiteral("Stop 0000 11");

QByteArray lapReport(int lapNo, int lastLap, const QString& hostText = QString())
{
    return Cp932::encode(Datagram::lapReportText(false, lapNo, lastLap, 80000, 81000, QDate(2026, 5, 3),
                                                 QTime(10, 0, 0), QTime(10, 0, 0), hostText));
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void timingPortTaken_data();
    void timingPortTaken();
    void registrationPortTaken();
    void hostWithoutRoute();
    void lapReportsUnderRealTimers();
    void lampFollowsTheStreamUnderRealTimers();
};

void FaultsTest::timingPortTaken_data()
{
    QTest::addColumn<bool>("allAddresses");
    QTest::addColumn<bool>("shared");
    QTest::newRow("exclusive, all addresses") << true << false;
    QTest::newRow("shared, all addresses") << true << true;
    QTest::newRow("exclusive, loopback only") << false << false;
    QTest::newRow("shared, loopback only") << false << true;
}

void FaultsTest::timingPortTaken()
{
    QFETCH(bool, allAddresses);
    QFETCH(bool, shared);
    LiveWindow lw;
    ClientWindow& w = lw.w();
    HostPeer host(7032);
    QVERIFY(host.ok());
    PortHolder other(7031, allAddresses, shared);
    QVERIFY(other.ok());

    QString stateWhileBoxOpen;
    lw.dialogs.whileOpen = [&] { stateWhileBoxOpen = runState(w); };
    QVERIFY(!lw.start(3));
    QCOMPARE(lw.dialogs.boxes.size(), 1);
    QVERIFY(lw.dialogs.boxes[0].prompt.contains(QStringLiteral("7031")));
    QCOMPARE(lw.dialogs.boxes[0].style, MsgBox::vbOKOnly | MsgBox::vbCritical);
    QCOMPARE(stateWhileBoxOpen, kIdle);

    // Fully idle: no tick thread, no timers, no socket, nothing sent.
    const qint64 ticks = lw.tick.ticks.load();
    serveEvents(400);
    QCOMPARE(runState(w), kIdle);
    QCOMPARE(lw.tick.ticks.load(), ticks);
    QVERIFY(lw.chkTimes.empty());
    QVERIFY(!lw.winsock1.isBound());
    QCOMPARE(host.count(), 0);
    QCOMPARE(w.focus(), &w.Btn_MessChg);

    // And usable: once the other program lets go, the same window runs.
    other.release();
    lw.dialogs.whileOpen = nullptr;
    QVERIFY(lw.start(3));
    QCOMPARE(runState(w), kMeasuring);
    QTRY_VERIFY(host.count() >= 3);
    QCOMPARE(host.payloads().first(), QByteArray("000"));
    QCOMPARE(host.senderPorts(), QList<uint16_t>{7031});
    QVERIFY(lw.tick.ticks.load() > 0);
    w.Btn_Start_Click();
    QCOMPARE(runState(w), kIdle);
    QCOMPARE(lw.dialogs.boxes.size(), 2);
}

void FaultsTest::registrationPortTaken()
{
    LiveWindow lw;
    ClientWindow& w = lw.w();
    HostPeer timingHost(7032);
    QVERIFY(timingHost.ok());
    RawSocket registrationHost(7002);
    QVERIFY(registrationHost.ok());
    PortHolder other(7001, true, false);
    QVERIFY(other.ok());

    lw.dialogs.inputAnswers = {QStringLiteral("127.0.0.1")};
    w.Btn_HostIP_Click();
    QCOMPARE(lw.dialogs.boxes.size(), 1);
    QVERIFY(lw.dialogs.boxes[0].prompt.contains(QStringLiteral("7001")));
    QCOMPARE(runState(w), kIdle);

    // The car chosen by hand runs as usual; no late warning about a request that never left.
    QVERIFY(lw.start(4));
    QCOMPARE(runState(w), kMeasuring);
    serveEvents(1300);
    QCOMPARE(lw.dialogs.boxes.size(), 1);
    QCOMPARE(w.m_HostWait, VbFalse);
    QByteArray request;
    QVERIFY(!registrationHost.receive(request));
    w.Btn_Start_Click();
    QCOMPARE(runState(w), kIdle);

    // With the port free again the check goes through on the same window.
    other.release();
    lw.dialogs.inputAnswers = {QStringLiteral("127.0.0.1")};
    w.Btn_HostIP_Click();
    QCOMPARE(lw.dialogs.boxes.size(), 2);  // the stop confirmation only
    uint16_t from = 0;
    for (int i = 0; i < 40 && !registrationHost.receive(request, &from); ++i) {
    }
    QCOMPARE(request, QByteArray("127.0.0.1"));
    QCOMPARE(from, uint16_t(7001));
    QVERIFY(registrationHost.sendTo(7001, Cp932::encode(QStringLiteral("５号車"))));
    QTRY_COMPARE(w.Cmb_CarNo.text(), QStringLiteral("５号車"));
    serveEvents(1200);
    QCOMPARE(lw.dialogs.boxes.size(), 2);
}

void FaultsTest::hostWithoutRoute()
{
    if (!onlyLoopback())
        QSKIP("not in an isolated network namespace: an unreachable host is not tried");
    LiveWindow lw;
    ClientWindow& w = lw.w();
    lw.pub.Pub_HostIP = QStringLiteral("192.0.2.1");  // documentation range, no route in here
    QVERIFY(lw.start(2));
    RawSocket peer;
    QVERIFY(peer.sendTo(7021, lapReport(1, 83456, QStringLiteral("ab"))));
    QTRY_COMPARE(w.Lbl_Lap.caption(), QStringLiteral("2周目"));

    // Every status datagram fails for want of a route; each failure re-binds the socket. The
    // ticker goes on meanwhile, one character a send tick, to its full ten.
    QTRY_VERIFY_WITH_TIMEOUT(lw.winsock1.unreachable >= 8 && w.Lbl_InMess.caption().size() == 10, 30000);
    QCOMPARE(lw.winsock1.sends, 0);
    QCOMPARE(lw.winsock1.closes, int(lw.winsock1.unreachable));
    QCOMPARE(lw.winsock1.bindFailures, 0);
    QVERIFY(lw.winsock1.isBound());
    // "ab" and five ideographic spaces go round in it.
    QVERIFY(w.Lbl_InMess.caption().contains(QStringLiteral("ab")));
    QVERIFY(lw.dialogs.boxes.isEmpty());
    QCOMPARE(runState(w), kMeasuring);

    // Reports still arrive on the re-bound socket.
    QVERIFY(peer.sendTo(7021, lapReport(2, 84000)));
    QTRY_COMPARE(w.Lbl_Lap.caption(), QStringLiteral("3周目"));
    QVERIFY(lw.dialogs.boxes.isEmpty());
}

void FaultsTest::lapReportsUnderRealTimers()
{
    LiveWindow lw;
    ClientWindow& w = lw.w();
    HostPeer host(7052);
    QVERIFY(host.ok());
    QVERIFY(lw.start(5));
    RawSocket peer;
    qint64 lastSent = 0;   // the last report taken was sent then...
    qint64 lastTaken = 0;  // ...and had been taken by then
    for (int lap = 1; lap <= 5; ++lap) {
        lastSent = nowMs();
        QVERIFY(peer.sendTo(7051, lapReport(lap, 80000 + lap, QStringLiteral("周回"))));
        QTRY_COMPARE_WITH_TIMEOUT(w.m_LapNo, lap, 30000);
        lastTaken = nowMs();
        QCOMPARE(lw.pub.Pub_LastLap, 80000 + lap);
        serveEvents(150);
    }
    // A repeat changes nothing; the running lap keeps counting from the last report taken:
    // every 10 ms since it was seen taken is counted once the tick thread has caught up, and
    // none from before it was sent.
    QVERIFY(peer.sendTo(7051, lapReport(5, 99999)));
    serveEvents(600);
    QCOMPARE(lw.pub.Pub_LastLap, 80005);
    // (Two ticks of slack each way: whole milliseconds, and a tick racing the reset.)
    const qint64 dueCs = (nowMs() - lastTaken) / 10 - 2;
    QTRY_VERIFY_WITH_TIMEOUT(lw.pub.Pub_TickCount.load() >= dueCs, 30000);
    const int32_t counted = lw.pub.Pub_TickCount.load();
    const qint64 sinceSentCs = (nowMs() - lastSent) / 10 + 3;
    QVERIFY2(counted >= dueCs && counted <= sinceSentCs,
             qPrintable(QStringLiteral("%1 ticks, expected %2..%3").arg(counted).arg(dueCs).arg(sinceSentCs)));
    QVERIFY(w.Lbl_Time.caption().startsWith(QStringLiteral("0'")));
    QTRY_VERIFY_WITH_TIMEOUT(!host.payloads().isEmpty() && host.payloads().last() == "005", 30000);
    QVERIFY(!w.Lbl_InMess.caption().isEmpty());

    // The blink of the last lap ends after its 21 ticks (10.5 s) and files the lap.
    QTRY_VERIFY_WITH_TIMEOUT(!w.Time_Blink.enabled(), 60000);
    QCOMPARE(w.Lbl_OldTime1.caption(), Fmt_LapMilli(80005));
    QCOMPARE(w.Lbl_OldTime1Sa.caption(), QStringLiteral("+") + Fmt_LapMilli(1));
    QVERIFY(w.Lbl_Time.visible());
    w.Btn_Start_Click();
    QCOMPARE(runState(w), kIdle);
}

void FaultsTest::lampFollowsTheStreamUnderRealTimers()
{
    LiveWindow lw;
    ClientWindow& w = lw.w();
    QVERIFY(lw.start(4));
    // The window's loop, as a timer of the test's own on it sees it come round.
    QList<qint64> turns;
    QTimer turn;
    turn.setTimerType(Qt::PreciseTimer);
    QObject::connect(&turn, &QTimer::timeout, [&] { turns.append(nowMs()); });
    turn.start(5);
    serveEvents(300);
    QList<std::pair<qint64, QColor>> lamp{{nowMs(), w.Lbl_Link.foreColor()}};
    w.Lbl_Link.changed = [&] { lamp.append({nowMs(), w.Lbl_Link.foreColor()}); };
    // A datagram every 20 ms for 1.5 s: while the loop comes round at least every 20 ms, every
    // send period has some, however the two 100 ms timers fall against them, and the lamp
    // stays lit. A loop held up longer may run two send ticks back to back with nothing read
    // between them, and the lamp rightly goes dark for a moment.
    RawSocket peer;
    QTimer stream;
    stream.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stream, &QTimer::timeout, [&] { peer.sendTo(7041, lapReport(1, 80000)); });
    const qint64 from = nowMs();
    stream.start(20);
    serveEvents(1500);
    stream.stop();
    const qint64 to = nowMs();
    // Out after the stream, whenever the send ticks come.
    QTRY_VERIFY_WITH_TIMEOUT(lamp.size() >= 3 && lamp.last().second == QColor(0, 0, 0), 30000);
    turn.stop();

    // Whether the loop went more than 20 ms without coming round in the 300 ms up to at.
    const auto heldUpBefore = [&](qint64 at) {
        qint64 previous = at - 300;
        for (qint64 t : turns) {
            if (t > at)
                break;
            if (t >= at - 300 && t - previous > 20)
                return true;
            previous = std::max(previous, t);
        }
        return at - previous > 20;
    };
    QCOMPARE(lamp[0].second, QColor(0, 0, 0));
    QCOMPARE(lamp[1].second, QColor(0xFF, 0xFF, 0));
    QVERIFY(lamp[1].first >= from);
    // Lit, it went dark before the stream ended only after the loop had been held up.
    for (qsizetype i = 2; i < lamp.size(); ++i) {
        if (lamp[i].second == QColor(0, 0, 0) && lamp[i].first < to)
            QVERIFY2(heldUpBefore(lamp[i].first),
                     qPrintable(QStringLiteral("dark at %1 ms into the stream, the loop running freely")
                                    .arg(lamp[i].first - from)));
    }
    w.Btn_Start_Click();
}

QTEST_GUILESS_MAIN(FaultsTest)
#include "test_faults.moc"
