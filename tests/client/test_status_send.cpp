#include "client_fixture.h"
#include "platform/qt_udp_socket.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

namespace {
const QString kIdeoSpaces(5, QChar(0x3000));
} // namespace

class StatusSendTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statusDatagrams();
    void tickerGrowsThenScrolls();
    void noHostTextNoTicker();
    void positionCarriesOver();
    void stopAndStartKeepPosition();
    void unreachableHostRebindsAndGoesOn();
    void otherSendErrorDropsTick();
    void failedRebindIsRetriedQuietly();
    void refusalToldToTheObserverAlone();
    void realLoopbackBytes();
};

void StatusSendTest::statusDatagrams()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    w.m_RecvFlag = VbTrue;
    w.Time_SendData_Timer();
    QCOMPARE(f.sock.sent, QStringList{QStringLiteral("000")});
    QCOMPARE(w.m_RecvFlag, VbFalse);

    w.Lbl_OutMess.setCaption(QStringLiteral("ドライバ交代して"));
    w.Time_SendData_Timer();
    f.sock.deliver(ClientFixture::report(12, 83456));
    w.Time_SendData_Timer();
    w.Lbl_OutMess.setCaption(QString());
    w.Time_SendData_Timer();
    QCOMPARE(f.sock.sent, (QStringList{QStringLiteral("000"), QStringLiteral("000ドライバ交代して"),
                                       QStringLiteral("012ドライバ交代して"), QStringLiteral("012")}));
}

void StatusSendTest::tickerGrowsThenScrolls()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("号AB")));
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(8));

    const QString text = QStringLiteral("号AB") + kIdeoSpaces;
    QStringList shown;
    for (int i = 0; i < 12; ++i) {
        w.Time_SendData_Timer();
        shown << w.Lbl_InMess.caption();
    }
    QCOMPARE(shown.at(0), QStringLiteral("号"));
    QCOMPARE(shown.at(7), text);
    QCOMPARE(shown.at(8), text + QStringLiteral("号"));
    QCOMPARE(shown.at(9), text + QStringLiteral("号A"));
    QCOMPARE(shown.at(10), QStringLiteral("AB") + kIdeoSpaces + QStringLiteral("号AB"));
    QCOMPARE(shown.at(11), QStringLiteral("B") + kIdeoSpaces + QStringLiteral("号AB") + QChar(0x3000));
    QCOMPARE(f.pub.Pub_InMessPos, int16_t(4));
    QCOMPARE(f.sock.sent.size(), 12);
}

void StatusSendTest::noHostTextNoTicker()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.pub.Pub_InMessPos = 3;
    f.sock.deliver(ClientFixture::report(1, 83456));
    for (int i = 0; i < 3; ++i)
        w.Time_SendData_Timer();
    QCOMPARE(w.Lbl_InMess.caption(), QString());
    QCOMPARE(f.pub.Pub_InMessPos, int16_t(3));
    QCOMPARE(f.sock.sent.size(), 3);
}

void StatusSendTest::positionCarriesOver()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.pub.Pub_InMessPos = 15;
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("xyz")));  // 8 in all
    w.Time_SendData_Timer();
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("x"));
    QCOMPARE(f.pub.Pub_InMessPos, int16_t(1));

    f.pub.Pub_InMessPos = 15;
    QString longText;
    for (int i = 0; i < 25; ++i)
        longText += QChar(u'a' + i);
    f.sock.deliver(ClientFixture::report(2, 83456, false, longText));  // 30 in all
    w.Time_SendData_Timer();
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("p"));  // character 16
    QCOMPARE(f.pub.Pub_InMessPos, int16_t(16));
}

void StatusSendTest::stopAndStartKeepPosition()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("abcdef")));
    for (int i = 0; i < 4; ++i)
        w.Time_SendData_Timer();
    w.Btn_Start_Click();  // the fake answers Yes
    QVERIFY(!w.Time_SendData.enabled());
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("abcd"));

    f.start();
    QVERIFY(w.Time_SendData.enabled());
    w.Time_SendData_Timer();
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("abcde"));
    QCOMPARE(f.pub.Pub_InMessPos, int16_t(5));
    QCOMPARE(f.sock.sent.last(), QStringLiteral("001"));
}

void StatusSendTest::unreachableHostRebindsAndGoesOn()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("ab")));
    f.sock.sendErrors = {SocketError::HostUnreachable};
    w.Time_SendData_Timer();
    QVERIFY(f.sock.sent.isEmpty());
    QCOMPARE(f.sock.log.mid(1), (QStringList{QStringLiteral("close"), QStringLiteral("bind 7031")}));
    QVERIFY(f.sock.isBound());
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("a"));
    QVERIFY(f.dialogs.boxes.isEmpty());
}

void StatusSendTest::otherSendErrorDropsTick()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("ab")));
    w.m_RecvFlag = VbTrue;
    f.sock.sendErrors = {SocketError::Other};
    w.Time_SendData_Timer();
    QCOMPARE(w.m_RecvFlag, VbFalse);
    QCOMPARE(w.Lbl_InMess.caption(), QString());
    QCOMPARE(f.pub.Pub_InMessPos, int16_t(0));
    QCOMPARE(f.sock.closes, 0);

    w.Time_SendData_Timer();
    QCOMPARE(f.sock.sent, QStringList{QStringLiteral("001")});
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("a"));
}

void StatusSendTest::failedRebindIsRetriedQuietly()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("ab")));
    f.sock.sendErrors = {SocketError::HostUnreachable};
    f.sock.bindErrors = {SocketError::AddressInUse, SocketError::AddressInUse};

    w.Time_SendData_Timer();  // re-bind fails
    QVERIFY(!f.sock.isBound());
    w.Time_SendData_Timer();  // retried, fails again: nothing sent, ticker still moves
    QVERIFY(!f.sock.isBound());
    QVERIFY(f.sock.sent.isEmpty());
    QCOMPARE(w.Lbl_InMess.caption(), QStringLiteral("ab"));
    w.Time_SendData_Timer();  // retried, bound again, sends
    QVERIFY(f.sock.isBound());
    QCOMPARE(f.sock.sent, QStringList{QStringLiteral("001")});
    QCOMPARE(f.sock.binds, 4);
    QVERIFY(f.dialogs.boxes.isEmpty());

    // A failing re-bind while a report is taken is retried at the next tick as well.
    f.sock.takeErrors = {SocketError::Other};
    f.sock.bindErrors = {SocketError::AddressInUse};
    f.sock.deliver(ClientFixture::report(2, 83456));
    QVERIFY(!f.sock.isBound());
    w.Time_SendData_Timer();
    QVERIFY(f.sock.isBound());
    QCOMPARE(f.sock.sent.size(), 2);
    QVERIFY(f.dialogs.boxes.isEmpty());
}

void StatusSendTest::refusalToldToTheObserverAlone()
{
    // A refusal reported to the send drops the tick, one reported to the take re-binds, as
    // without an observer; the observer hears of each.
    ClientFixture f(false);
    QList<RunEvent> events;
    ClientServices s = f.services(f.folder.path());
    s.runObserver = [&events](const ClientWindow&, RunEvent e) { events.append(e); };
    f.w.reset();  // its socket handlers go with it
    f.w = std::make_unique<ClientWindow>(f.pub, std::move(s));
    f.w->Form_Load();
    f.start();
    f.sock.sendErrors = {SocketError::ConnectionReset};
    f.w->Time_SendData_Timer();
    f.sock.takeErrors = {SocketError::ConnectionReset};
    f.sock.deliver(ClientFixture::report(1, 83456));
    QCOMPARE(events, (QList<RunEvent>{RunEvent::Started, RunEvent::HostRefused, RunEvent::HostRefused}));
    QCOMPARE(f.sock.log, (QStringList{QStringLiteral("bind 7031"), QStringLiteral("close"), QStringLiteral("bind 7031")}));
}

void StatusSendTest::realLoopbackBytes()
{
    QUdpSocket host;
    if (!host.bind(QHostAddress::LocalHost, 7052, QAbstractSocket::DontShareAddress))
        QSKIP("host port 7052 is busy (another test running?)");
    QtUdpSocket winsock;
    FakeUdpSocket chk;
    ClientFixture f;
    ClientWindow w(f.pub, ClientServices{f.tick, f.clock, f.dialogs, f.editor, f.local, winsock, chk,
                                         f.folder.path(), [] { return QSize(15360, 11520); }, [] {}});
    w.Cmb_CarNo.setText(Datagram::carText(5));
    w.Btn_Start_Click();
    if (!f.dialogs.boxes.isEmpty())
        QSKIP("client port 7051 is busy (another test running?)");
    QVERIFY(winsock.isBound());

    // "012１号車" in code page 932.
    w.Lbl_OutMess.setCaption(QStringLiteral("１号車"));
    w.m_LapNo = 12;
    w.Time_SendData_Timer();
    QTRY_VERIFY(host.hasPendingDatagrams());
    const QNetworkDatagram status = host.receiveDatagram();
    QCOMPARE(status.data(), QByteArray::fromHex("3031328250" "8d868ed4"));
    QCOMPARE(status.senderPort(), 7051);

    // A report whose host text is "号" in code page 932 arrives as one character.
    const QByteArray report = Datagram::lapReportText(false, 3, 83456, 80000, 81000, QDate(2026, 5, 3),
                                                      QTime(10, 0, 0), QTime(10, 0, 0), QString())
                                  .toLatin1()
        + QByteArray::fromHex("8d86");
    host.writeDatagram(report, QHostAddress::LocalHost, 7051);
    QTRY_COMPARE(w.Lbl_Lap.caption(), QStringLiteral("4周目"));
    QCOMPARE(f.pub.Pub_InMess, QStringLiteral("号") + kIdeoSpaces);
    QCOMPARE(w.m_RecvData.size(), 61);

    f.dialogs.answers = {MsgBox::vbYes};
    w.Btn_Start_Click();
    QVERIFY(!winsock.isBound());
}

QTEST_GUILESS_MAIN(StatusSendTest)
#include "test_status_send.moc"
