#pragma once

#include "platform/udp_socket.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>

/// Sends data as one datagram on the bound socket descriptor to the IPv4 address (host byte
/// order) and port, and tells the OS's error apart as the handlers need it.
SocketError sendDatagram(qintptr descriptor, quint32 ipv4, uint16_t port, const QByteArray& data);
