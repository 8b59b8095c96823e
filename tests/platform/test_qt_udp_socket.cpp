#include "platform/qt_udp_socket.h"
#include "fakes/network_namespace.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>


namespace {

// Ports of this test only; the sandbox gives every test run a network namespace of its own.
constexpr uint16_t kRxPort = 47101;
constexpr uint16_t kTxPort = 47102;

// A plain socket on 127.0.0.1 to see the bytes on the wire.
class Peer {
public:
    Peer() { m_socket.bind(QHostAddress::LocalHost, 0); }
    void send(const QByteArray& bytes, uint16_t port = kRxPort)
    {
        QCOMPARE(m_socket.writeDatagram(bytes, QHostAddress::LocalHost, port), qint64(bytes.size()));
    }
    uint16_t port() const { return m_socket.localPort(); }
    QByteArray receive()
    {
        if (!m_socket.hasPendingDatagrams() && !m_socket.waitForReadyRead(2000))
            return "<nothing>";
        QByteArray data(m_socket.pendingDatagramSize(), Qt::Uninitialized);
        data.truncate(m_socket.readDatagram(data.data(), data.size()));
        return data;
    }

private:
    QUdpSocket m_socket;
};

// A bound socket that takes every datagram raised and keeps its text.
struct Receiver {
    explicit Receiver(uint16_t port = kRxPort)
    {
        socket.setLocalPort(port);
        socket.dataArrival = [this] {
            QString text;
            if (socket.takeText(text) == SocketError::None)
                texts.append(text);
        };
    }
    QtUdpSocket socket;
    QStringList texts;
};


} // namespace

class TestQtUdpSocket : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textTravelsAsCp932();
    void emptyAndLargestDatagrams();
    void exclusiveBindAndRebind();
    void sendErrors();
    void floodIsRaisedWhole();
    void floodIsServedInBatches();
    void untakenDatagramIsDropped();
    void handlerMayCloseOrWait();
};

void TestQtUdpSocket::textTravelsAsCp932()
{
    Receiver rx;
    QCOMPARE(rx.socket.bind(), SocketError::None);
    QVERIFY(rx.socket.isBound());
    Peer peer;
    peer.send("\x8A\xC2\x8B\xAB\x90\xDD\x92\xE8");
    QTRY_COMPARE(rx.texts, QStringList{QStringLiteral("環境設定")});

    QtUdpSocket tx;
    tx.setRemoteHost(QStringLiteral("127.0.0.1"));
    tx.setRemotePort(peer.port());
    tx.setLocalPort(kTxPort);
    QCOMPARE(tx.bind(), SocketError::None);
    QCOMPARE(tx.sendText(QStringLiteral("012ドライバ")), SocketError::None);
    QCOMPARE(peer.receive(), QByteArray("012\x83\x68\x83\x89\x83\x43\x83\x6F"));
}

void TestQtUdpSocket::emptyAndLargestDatagrams()
{
    Receiver rx;
    QCOMPARE(rx.socket.bind(), SocketError::None);
    Peer peer;
    peer.send(QByteArray());
    peer.send(QByteArray(65507, 'a'));
    QTRY_COMPARE(rx.texts.size(), 2);
    QCOMPARE(rx.texts.at(0), QString());
    QCOMPARE(rx.texts.at(1), QString(65507, u'a'));

    QString text = QStringLiteral("unchanged");
    QCOMPARE(rx.socket.takeText(text), SocketError::NoData);
    QCOMPARE(text, QStringLiteral("unchanged"));

    QtUdpSocket tx;
    tx.setRemoteHost(QStringLiteral("127.0.0.1"));
    tx.setRemotePort(peer.port());
    QCOMPARE(tx.bind(), SocketError::None);
    QCOMPARE(tx.sendText(QString(32753, u'あ') + u'x'), SocketError::None);  // 65507 bytes
    QCOMPARE(peer.receive().size(), 65507);
    QCOMPARE(tx.sendText(QString(32754, u'あ')), SocketError::Other);      // 65508 bytes
}

void TestQtUdpSocket::exclusiveBindAndRebind()
{
    QtUdpSocket first;
    QtUdpSocket second;
    first.setLocalPort(kRxPort);
    second.setLocalPort(kRxPort);
    QCOMPARE(first.bind(), SocketError::None);
    QCOMPARE(first.bind(), SocketError::Other);  // already bound
    QCOMPARE(second.bind(), SocketError::AddressInUse);
    QVERIFY(!second.isBound());

    first.setRemoteHost(QStringLiteral("127.0.0.1"));
    first.setRemotePort(kTxPort);
    first.close();
    QVERIFY(!first.isBound());
    QCOMPARE(first.remoteHost(), QStringLiteral("127.0.0.1"));
    QCOMPARE(first.localPort(), kRxPort);
    QCOMPARE(first.remotePort(), kTxPort);

    QCOMPARE(second.bind(), SocketError::None);
    second.close();
    QCOMPARE(first.bind(), SocketError::None);  // the same socket again on the same port
    Peer peer;
    QStringList texts;
    first.dataArrival = [&] {
        QString text;
        first.takeText(text);
        texts.append(text);
    };
    peer.send("after rebind");
    QTRY_COMPARE(texts, QStringList{QStringLiteral("after rebind")});
}

void TestQtUdpSocket::sendErrors()
{
    QtUdpSocket tx;
    tx.setRemoteHost(QStringLiteral("127.0.0.1"));
    tx.setRemotePort(kRxPort);
    QCOMPARE(tx.sendText(QStringLiteral("unbound")), SocketError::Other);
    QCOMPARE(tx.bind(), SocketError::None);
    tx.setRemoteHost(QStringLiteral("abc"));
    QCOMPARE(tx.sendText(QStringLiteral("x")), SocketError::Other);
    tx.setRemoteHost(QStringLiteral("::1"));
    QCOMPARE(tx.sendText(QStringLiteral("x")), SocketError::Other);

    if (!onlyLoopback())
        QSKIP("not in an isolated network namespace: the unreachable host is not tried");
    tx.setRemoteHost(QStringLiteral("192.0.2.1"));
    QCOMPARE(tx.sendText(QStringLiteral("x")), SocketError::HostUnreachable);
}

void TestQtUdpSocket::floodIsRaisedWhole()
{
    Receiver rx;
    QCOMPARE(rx.socket.bind(), SocketError::None);
    Peer peer;
    constexpr int kTotal = 3000;
    constexpr int kBurst = 50;  // small enough for the receive buffer between two drains
    QStringList expected;
    for (int sent = 0; sent < kTotal;) {
        for (int i = 0; i < kBurst; ++i, ++sent) {
            expected.append(QString::number(sent));
            peer.send(QByteArray::number(sent));
        }
        QTRY_COMPARE_WITH_TIMEOUT(rx.texts.size(), sent, 30000);
    }
    QCOMPARE(rx.texts, expected);
}

void TestQtUdpSocket::floodIsServedInBatches()
{
    Receiver rx;
    QCOMPARE(rx.socket.bind(), SocketError::None);
    int seenByEventLoop = -1;
    auto take = rx.socket.dataArrival;
    rx.socket.dataArrival = [&] {
        if (rx.texts.isEmpty())
            QTimer::singleShot(0, [&] { seenByEventLoop = int(rx.texts.size()); });
        take();
    };
    Peer peer;
    for (int i = 0; i < 100; ++i)
        peer.send(QByteArray::number(i));
    QTRY_COMPARE(rx.texts.size(), 100);
    QVERIFY(seenByEventLoop > 0);
    QVERIFY2(seenByEventLoop <= QtUdpSocket::kBatch, qPrintable(QString::number(seenByEventLoop)));
}

void TestQtUdpSocket::untakenDatagramIsDropped()
{
    QtUdpSocket rx;
    rx.setLocalPort(kRxPort);
    int raised = 0;
    rx.dataArrival = [&] { ++raised; };
    QCOMPARE(rx.bind(), SocketError::None);
    Peer peer;
    for (int i = 0; i < 5; ++i)
        peer.send("ignored");
    QTRY_COMPARE(raised, 5);
    QTest::qWait(100);
    QCOMPARE(raised, 5);
    QString text;
    QCOMPARE(rx.takeText(text), SocketError::NoData);
}

void TestQtUdpSocket::handlerMayCloseOrWait()
{
    // While a handler waits in a nested event loop (as in a message box), other sockets are
    // still served; its own socket raises the next datagram once the handler has returned,
    // so a handler is never re-entered.
    Receiver rx;
    Receiver other(kTxPort);
    Peer peer;
    QStringList order;
    QEventLoop* waiting = nullptr;
    other.socket.dataArrival = [&] {
        QString text;
        other.socket.takeText(text);
        order.append(text);
        // Served inside the wait; "inner" was queued on the waiting socket before this came.
        // The wait goes on a little longer, in which that socket must stay quiet.
        if (waiting)
            QTimer::singleShot(100, Qt::PreciseTimer, waiting, &QEventLoop::quit);
    };
    auto take = rx.socket.dataArrival;
    rx.socket.dataArrival = [&] {
        take();
        const QString text = rx.texts.last();
        order.append(QStringLiteral("begin ") + text);
        if (text == QLatin1String("wait")) {
            QEventLoop loop;
            waiting = &loop;
            QTimer::singleShot(50, [&] {
                peer.send("inner");
                peer.send("other socket", kTxPort);
            });
            QTimer::singleShot(30000, Qt::PreciseTimer, &loop, &QEventLoop::quit);  // should the other never come
            loop.exec();
            waiting = nullptr;
        } else if (text == QLatin1String("close")) {
            rx.socket.close();
        }
        order.append(QStringLiteral("end ") + text);
    };
    QCOMPARE(rx.socket.bind(), SocketError::None);
    QCOMPARE(other.socket.bind(), SocketError::None);
    peer.send("wait");
    QTRY_COMPARE(order.size(), 5);
    QCOMPARE(order, (QStringList{"begin wait", "other socket", "end wait", "begin inner", "end inner"}));

    peer.send("close");
    peer.send("never");
    QTRY_COMPARE(order.size(), 7);
    QTest::qWait(100);
    QCOMPARE(order.size(), 7);
    QVERIFY(!rx.socket.isBound());
}

QTEST_GUILESS_MAIN(TestQtUdpSocket)
#include "test_qt_udp_socket.moc"
