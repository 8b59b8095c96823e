#pragma once

#include "platform/udp_socket.h"

/// The class of a Winsock error (WSAGetLastError) that the handlers tell apart: 10065
/// (WSAEHOSTUNREACH) and 10051 (WSAENETUNREACH) are an unreachable host, 10054
/// (WSAECONNRESET) the refusal of an earlier datagram, 10048 (WSAEADDRINUSE) a taken port.
SocketError socketErrorFromWinsock(int error);
