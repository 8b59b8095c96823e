#include "fake_udp_socket.h"

SocketError FakeUdpSocket::bind()
{
    ++binds;
    log.append(QStringLiteral("bind %1").arg(m_local));
    const SocketError e = bindErrors.isEmpty() ? SocketError::None : bindErrors.takeFirst();
    m_bound = (e == SocketError::None);
    return e;
}

void FakeUdpSocket::close()
{
    ++closes;
    log.append(QStringLiteral("close"));
    m_bound = false;
    m_pending.clear();
}

SocketError FakeUdpSocket::sendText(const QString& text)
{
    const SocketError e = sendErrors.isEmpty() ? SocketError::None : sendErrors.takeFirst();
    if (e == SocketError::None) {
        sent.append(text);
        log.append(QStringLiteral("send ") + text);
    }
    return e;
}

SocketError FakeUdpSocket::takeText(QString& text)
{
    const SocketError e = takeErrors.isEmpty() ? SocketError::None : takeErrors.takeFirst();
    if (m_pending.isEmpty())
        return e == SocketError::None ? SocketError::NoData : e;
    const QString head = m_pending.takeFirst();
    if (e != SocketError::None)
        return e;
    text = head;
    return SocketError::None;
}

void FakeUdpSocket::deliver(const QString& text)
{
    m_pending.append(text);
    if (dataArrival)
        dataArrival();
}
