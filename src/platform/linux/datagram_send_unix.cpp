#include "platform/datagram_send.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

SocketError sendDatagram(qintptr descriptor, quint32 ipv4, uint16_t port, const QByteArray& data)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ipv4);
    const auto fd = static_cast<int>(descriptor);
    ssize_t sent = -1;
    do {
        sent = ::sendto(fd, data.constData(), size_t(data.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent == data.size())
        return SocketError::None;
    if (sent >= 0)
        return SocketError::Other;
    switch (errno) {
    case ENETUNREACH:
    case EHOSTUNREACH:
        return SocketError::HostUnreachable;
    case ECONNREFUSED:
        // Not seen on our sockets: an unconnected UDP socket hears of a refused datagram only
        // with IP_RECVERR, which we leave off. With it, the refusal becomes the socket's pending
        // error, which the next sendto returns instead of sending (a status datagram lost), and
        // its POLLERR wakes Qt's read notifier first: hasPendingDatagrams takes the error, finds
        // nothing to read and turns the notifier off, and the socket hears no more reports.
        // Reading MSG_ERRQUEUE ourselves cannot come before Qt's notifier. So a refusing host
        // goes unnoticed here; only the silence of its lap reports tells of it.
        return SocketError::ConnectionReset;
    default:
        return SocketError::Other;
    }
}
