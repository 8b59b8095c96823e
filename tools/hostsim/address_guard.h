#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

class QUdpSocket;

/// The one gate every datagram and every bind of the simulator passes: loopback only,
/// unless the user has allowed the local network.
namespace AddressGuard {

/// True when address may be used: a loopback IPv4 address, or any IPv4 address with allowLan.
bool permits(const QHostAddress& address, bool allowLan);

/// Parses an IPv4 address text and checks it with permits(); on refusal error says why.
bool parseAllowed(const QString& text, bool allowLan, QHostAddress* address, QString* error);

/// Sends data as one datagram to address:port, or refuses before touching the socket when the
/// address is not permitted. Returns false and sets error on refusal or failure.
bool send(QUdpSocket& socket, const QByteArray& data, const QHostAddress& address, quint16 port,
          bool allowLan, QString* error);

} // namespace AddressGuard
