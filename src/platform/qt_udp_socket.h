#pragma once

#include "platform/udp_socket.h"

#include <QUdpSocket>

#include <cstdint>

/// The client's UDP socket on QUdpSocket: bound for exclusive use on all local IPv4
/// addresses, never connected; one data-arrival event per datagram, raised on the socket's
/// thread in bounded batches and never re-entered while its handler waits.
class QtUdpSocket : public IUdpSocket {
public:
    QtUdpSocket();
    ~QtUdpSocket() override;
    QtUdpSocket(const QtUdpSocket&) = delete;
    QtUdpSocket& operator=(const QtUdpSocket&) = delete;

    void setRemoteHost(const QString& host) override { m_remoteHost = host; }
    QString remoteHost() const override { return m_remoteHost; }
    void setLocalPort(uint16_t port) override { m_localPort = port; }
    uint16_t localPort() const override { return m_localPort; }
    void setRemotePort(uint16_t port) override { m_remotePort = port; }
    uint16_t remotePort() const override { return m_remotePort; }

    /// Binds the local port; AddressInUse when another socket holds it, Other when already bound.
    SocketError bind() override;
    bool isBound() const override;
    void close() override;

    /// Sends one datagram; HostUnreachable when there is no route, Other when unbound, for a
    /// remote host that is not an IPv4 address, or for a text longer than one datagram holds.
    SocketError sendText(const QString& text) override;
    /// Takes the oldest datagram whole; NoData when none is waiting.
    SocketError takeText(QString& text) override;

    /// Most data-arrival events raised in one turn of the event loop.
    static constexpr int kBatch = 64;

private:
    void drain();

    QUdpSocket m_socket;
    QString m_remoteHost;
    uint16_t m_localPort = 0;
    uint16_t m_remotePort = 0;
    quint64 m_generation = 0;  ///< counts binds and closes, to tell one bound socket from the next
    quint64 m_takes = 0;       ///< datagrams taken so far
};
