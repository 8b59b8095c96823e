#include "platform/datagram_send.h"

#include "platform/windows/winsock_error.h"

#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

SocketError socketErrorFromWinsock(int error)
{
    switch (error) {
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return SocketError::HostUnreachable;
    // Reported on a UDP socket by the call after the one whose datagram the peer's side
    // refused with an ICMP port-unreachable.
    case WSAECONNRESET:
        return SocketError::ConnectionReset;
    case WSAEADDRINUSE:
        return SocketError::AddressInUse;
    default:
        return SocketError::Other;
    }
}

SocketError sendDatagram(qintptr descriptor, quint32 ipv4, uint16_t port, const QByteArray& data)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ipv4);
    const int sent = ::sendto(static_cast<SOCKET>(descriptor), data.constData(), int(data.size()), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == data.size())
        return SocketError::None;
    if (sent != SOCKET_ERROR)
        return SocketError::Other;
    return socketErrorFromWinsock(WSAGetLastError());
}
