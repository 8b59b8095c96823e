#include "address_guard.h"

#include <QUdpSocket>

namespace AddressGuard {

bool permits(const QHostAddress& address, bool allowLan)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    return allowLan || address.isLoopback();
}

bool parseAllowed(const QString& text, bool allowLan, QHostAddress* address, QString* error)
{
    QHostAddress parsed;
    if (!parsed.setAddress(text) || parsed.protocol() != QAbstractSocket::IPv4Protocol) {
        *error = QStringLiteral("'%1' is not an IPv4 address").arg(text);
        return false;
    }
    if (!permits(parsed, allowLan)) {
        *error = QStringLiteral("%1 is not a loopback address; refusing it without --allow-lan")
                     .arg(parsed.toString());
        return false;
    }
    *address = parsed;
    return true;
}

bool send(QUdpSocket& socket, const QByteArray& data, const QHostAddress& address, quint16 port,
          bool allowLan, QString* error)
{
    if (!permits(address, allowLan)) {
        *error = QStringLiteral("refused to send to %1 (not loopback, no --allow-lan)")
                     .arg(address.toString());
        return false;
    }
    const qint64 written = socket.writeDatagram(data, address, port);
    if (written != data.size()) {
        *error = QStringLiteral("send to %1:%2 failed: %3")
                     .arg(address.toString()).arg(port).arg(socket.errorString());
        return false;
    }
    return true;
}

} // namespace AddressGuard
