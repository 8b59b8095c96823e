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
        return SocketError::ConnectionReset;
    default:
        return SocketError::Other;
    }
}
