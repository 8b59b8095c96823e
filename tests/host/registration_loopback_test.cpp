// The host registration check over real UDP sockets against a host stand-in on 127.0.0.1:7002.
// Ports 7001 and 7002 are fixed; a test of another area holding them makes these fail with a
// busy port, so a failure of that kind is worth a second run.
#include "window_fixture.h"

#include "platform/cp932.h"
#include "platform/qt_udp_socket.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

using namespace MsgBox;

namespace {

/// The host side of the registration pair, on the loopback address only.
struct HostStandIn {
    QUdpSocket socket;
    bool bound = false;
    HostStandIn()
    {
        bound = socket.bind(QHostAddress::LocalHost, 7002, QAbstractSocket::DontShareAddress);
    }
    /// The next request, waiting up to timeoutMs; a null datagram when none came.
    QNetworkDatagram request(int timeoutMs = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!socket.hasPendingDatagrams() && clock.elapsed() < timeoutMs)
            QTest::qWait(10);
        return socket.hasPendingDatagrams() ? socket.receiveDatagram() : QNetworkDatagram();
    }
    void reply(const QNetworkDatagram& to, const QString& text)
    {
        socket.writeDatagram(Cp932::encode(text), QHostAddress::LocalHost, quint16(to.senderPort()));
    }
};

struct Loopback : WindowOver<QtUdpSocket> {
    HostStandIn host;
    void pressHostIP(const QString& answer = QStringLiteral("127.0.0.1"))
    {
        dialogs.inputAnswers = {answer};
        w().Btn_HostIP_Click();
    }
};

} // namespace

class RegistrationLoopbackTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reply_car_setsCarNo_andWatchdogIsSilent()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        ClientWindow& w = f.w();
        f.pressHostIP();
        const QNetworkDatagram request = f.host.request();
        QVERIFY(request.isValid());
        QCOMPARE(Cp932::decode(request.data()), QStringLiteral("127.0.0.1"));
        QCOMPARE(request.senderPort(), 7001);
        QCOMPARE(w.m_HostWait, VbTrue);
        f.host.reply(request, QStringLiteral("３号車"));
        QTRY_COMPARE(w.Cmb_CarNo.text(), QStringLiteral("３号車"));
        QCOMPARE(w.m_HostWait, VbFalse);
        w.Time_HostChk_Timer();
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void reply_notRegistered_withinTheSecond_showsMessageOnly()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        ClientWindow& w = f.w();
        f.pressHostIP();
        const QNetworkDatagram request = f.host.request();
        QVERIFY(request.isValid());
        f.host.reply(request, QStringLiteral("未登録"));
        QTRY_COMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.boxes[0].prompt, QStringLiteral("ホスト側で未登録です。\rホスト側を確認してください。"));
        QCOMPARE(f.dialogs.boxes[0].style, vbOKOnly);
        QCOMPARE(f.dialogs.boxes[0].title, QString());
        w.Time_HostChk_Timer();
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QVERIFY(w.Cmb_CarNo.text().isEmpty());
    }

    void noReply_warnsOnce_thenLateReplySetsCar()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        ClientWindow& w = f.w();
        f.pressHostIP();
        const QNetworkDatagram request = f.host.request();
        QVERIFY(request.isValid());
        w.Time_HostChk_Timer();  // the second has passed without a reply
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.boxes[0].prompt, QStringLiteral("ホスト側から応答がありません。\r確認してください。"));
        QCOMPARE(f.dialogs.boxes[0].style, vbOKOnly | vbCritical);
        QCOMPARE(f.dialogs.boxes[0].title, QString());
        QCOMPARE(w.m_HostWait, VbFalse);
        QVERIFY(!w.Time_HostChk.enabled());
        w.Time_HostChk_Timer();  // a stray second tick finds nothing to do
        QCOMPARE(f.dialogs.boxes.size(), 1);
        f.host.reply(request, QStringLiteral("１号車"));  // half a second late
        QTRY_COMPARE(w.Cmb_CarNo.text(), QStringLiteral("１号車"));
        QCOMPARE(f.dialogs.boxes.size(), 1);
    }

    void twoQuickPresses_sendTwoRequestsFromThePort()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        ClientWindow& w = f.w();
        f.pressHostIP();
        const unsigned firstStart = w.Time_HostChk.starts();
        f.pressHostIP();
        QVERIFY(w.Time_HostChk.starts() > firstStart);
        const QNetworkDatagram first = f.host.request();
        const QNetworkDatagram second = f.host.request();
        QVERIFY(first.isValid() && second.isValid());
        QCOMPARE(second.senderPort(), 7001);
        f.host.reply(second, QStringLiteral("２号車"));
        QTRY_COMPARE(w.Cmb_CarNo.text(), QStringLiteral("２号車"));
    }

    void cancel_sendsNothing_andWritesNothing()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        ClientWindow& w = f.w();
        w.setFocus(w.Btn_Start);
        f.dialogs.inputAnswers.clear();
        w.Btn_HostIP_Click();
        QCOMPARE(f.dialogs.inputs.size(), 1);
        QCOMPARE(f.dialogs.inputs[0].prompt, QStringLiteral("ホストＩＰ番号は？"));
        QCOMPARE(f.dialogs.inputs[0].title, QStringLiteral("ホストＩＰ設定"));
        QCOMPARE(f.dialogs.inputs[0].defaultText, QStringLiteral("127.0.0.1"));
        QVERIFY(!f.host.request(300).isValid());
        QCOMPARE(w.m_HostWait, VbFalse);
        QVERIFY(!w.Time_HostChk.enabled());
        QCOMPARE(w.focus(), &w.Btn_Start);
        QVERIFY(!QFile::exists(f.pub.Pub_IniPath));
        QVERIFY(!f.chker.isBound());
    }

    void busyPort_tellsOperator_andWaitsForNothing()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 7001, QAbstractSocket::DontShareAddress));
        ClientWindow& w = f.w();
        f.pressHostIP();
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QVERIFY(f.dialogs.boxes[0].prompt.contains(QStringLiteral("使用中")));
        QCOMPARE(w.m_HostWait, VbFalse);
        QVERIFY(!w.Time_HostChk.enabled());
        QCOMPARE(w.focus(), &w.Btn_MessChg);
        QVERIFY(!f.host.request(300).isValid());
    }

    void addressThatIsNoIPv4_tellsOperator()
    {
        Loopback f;
        QVERIFY(f.host.bound);
        ClientWindow& w = f.w();
        f.pressHostIP(QStringLiteral("host.example"));
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QVERIFY(f.dialogs.boxes[0].prompt.contains(QStringLiteral("host.example")));
        QCOMPARE(w.m_HostWait, VbFalse);
        QVERIFY(!w.Time_HostChk.enabled());
        // Fixed, the next press goes through on the same window.
        f.pressHostIP(QStringLiteral("127.0.0.1"));
        QVERIFY(f.host.request().isValid());
        QCOMPARE(w.m_HostWait, VbTrue);
    }
};

QTEST_GUILESS_MAIN(RegistrationLoopbackTest)
#include "registration_loopback_test.moc"
