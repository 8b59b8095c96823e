#include "platform/qt_udp_socket.h"

#include "platform/cp932.h"
#include "platform/datagram_send.h"

#include <QHostAddress>
#include <QNetworkProxy>

namespace {

constexpr qsizetype kMaxPayload = 65507;

} // namespace

QtUdpSocket::QtUdpSocket()
{
    // Datagrams go straight to the pit LAN; without this Qt starts a proxy lookup at the first
    // bind, and a proxy named in the environment could reroute the timing traffic.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    QObject::connect(&m_socket, &QUdpSocket::readyRead, &m_socket, [this] { drain(); });
}

QtUdpSocket::~QtUdpSocket() = default;

SocketError QtUdpSocket::bind()
{
    if (isBound())
        return SocketError::Other;
    ++m_generation;
    // Exclusive use: with a shared bind a second client on this port would silently take
    // part of the unicast traffic.
    if (!m_socket.bind(QHostAddress::AnyIPv4, m_localPort, QAbstractSocket::DontShareAddress)) {
        const auto error = m_socket.error();
        m_socket.close();
        return error == QAbstractSocket::AddressInUseError ? SocketError::AddressInUse : SocketError::Other;
    }
    return SocketError::None;
}

bool QtUdpSocket::isBound() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

void QtUdpSocket::close()
{
    ++m_generation;
    m_socket.close();
}

SocketError QtUdpSocket::sendText(const QString& text)
{
    if (!isBound())
        return SocketError::Other;
    QHostAddress host;
    if (!host.setAddress(m_remoteHost) || host.protocol() != QAbstractSocket::IPv4Protocol)
        return SocketError::Other;
    const QByteArray data = Cp932::encode(text);
    if (data.size() > kMaxPayload)
        return SocketError::Other;

    // Sent with sendto on Qt's descriptor: writeDatagram folds "no route" into a generic
    // network error, and the handlers must tell an unreachable host from other failures.
    return sendDatagram(m_socket.socketDescriptor(), host.toIPv4Address(), m_remotePort, data);
}

SocketError QtUdpSocket::takeText(QString& text)
{
    if (!isBound() || !m_socket.hasPendingDatagrams())
        return SocketError::NoData;
    const qint64 size = m_socket.pendingDatagramSize();
    if (size < 0)
        return SocketError::NoData;
    QByteArray data(size, Qt::Uninitialized);
    const qint64 read = m_socket.readDatagram(data.data(), size);
    if (read < 0) {
        return m_socket.error() == QAbstractSocket::ConnectionRefusedError ? SocketError::ConnectionReset
                                                                          : SocketError::Other;
    }
    data.truncate(read);
    text = Cp932::decode(data);
    ++m_takes;
    return SocketError::None;
}

void QtUdpSocket::drain()
{
    // Datagrams are read only here, inside readyRead: QUdpSocket arms its next readyRead only
    // when a datagram is read after one was announced, and a read made anywhere else can leave
    // an announcement with nothing behind it, after which the socket falls silent.
    //
    // A bounded batch per readyRead: a flood must not keep the window's timers and input
    // waiting. What is left stays readable, and the notifier that the last read re-armed
    // announces it again on the next turn of the event loop.
    for (int i = 0; i < kBatch; ++i) {
        if (!isBound() || !m_socket.hasPendingDatagrams())
            return;
        const quint64 generation = m_generation;
        const quint64 takes = m_takes;
        if (dataArrival)
            dataArrival();
        // A handler that left its datagram waiting would have it raised again and again;
        // drop it. After a close or re-bind the waiting datagrams belong to the new socket.
        if (m_generation == generation && m_takes == takes && isBound() && m_socket.hasPendingDatagrams()) {
            char discard = 0;
            if (m_socket.readDatagram(&discard, 1) < 0)
                return;  // an unreadable datagram: wait for the next notification, do not spin
        }
    }
}
