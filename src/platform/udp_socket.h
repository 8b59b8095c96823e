#pragma once

#include <QString>
#include <cstdint>
#include <functional>

/// Outcome of a socket operation, by the class of error the handlers tell apart.
enum class SocketError {
    None,
    HostUnreachable,  ///< no route to the remote host (ENETUNREACH, EHOSTUNREACH)
    ConnectionReset,  ///< an earlier datagram was refused by the peer
    AddressInUse,     ///< the local port is taken by another socket
    NoData,           ///< nothing to take
    Other,
};

/// A UDP socket with the operations of the client's socket control: settings first,
/// then bind, send and take text in code page 932, close.
class IUdpSocket {
public:
    virtual ~IUdpSocket() = default;

    /// Remote host for every send (IPv4 address text).
    virtual void setRemoteHost(const QString& host) = 0;
    virtual QString remoteHost() const = 0;
    /// Local port for the next bind; 0 lets the system choose.
    virtual void setLocalPort(uint16_t port) = 0;
    virtual uint16_t localPort() const = 0;
    /// Remote port for every send.
    virtual void setRemotePort(uint16_t port) = 0;
    virtual uint16_t remotePort() const = 0;

    /// Opens the socket on the local port on all local IPv4 addresses, for exclusive use.
    virtual SocketError bind() = 0;
    /// True while the socket is bound.
    virtual bool isBound() const = 0;
    /// Closes the socket; the settings stay for a later bind.
    virtual void close() = 0;

    /// Sends text, encoded in code page 932, as one datagram to the remote host and port.
    virtual SocketError sendText(const QString& text) = 0;
    /// Removes the oldest arrived datagram and returns its content decoded from code page 932.
    virtual SocketError takeText(QString& text) = 0;

    /// Called on the window thread once for every datagram that arrives while bound.
    std::function<void()> dataArrival;
};
