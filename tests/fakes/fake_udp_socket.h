#pragma once

#include "platform/udp_socket.h"

#include <QList>
#include <QString>

/// A socket without a network: records binds and sends, delivers datagrams put in by the test,
/// and fails the operations it is told to.
class FakeUdpSocket : public IUdpSocket {
public:
    void setRemoteHost(const QString& host) override { m_host = host; }
    QString remoteHost() const override { return m_host; }
    void setLocalPort(uint16_t port) override { m_local = port; }
    uint16_t localPort() const override { return m_local; }
    void setRemotePort(uint16_t port) override { m_remote = port; }
    uint16_t remotePort() const override { return m_remote; }

    SocketError bind() override;
    bool isBound() const override { return m_bound; }
    void close() override;
    SocketError sendText(const QString& text) override;
    SocketError takeText(QString& text) override;

    /// Queues text and raises the data-arrival event for it, as an arriving datagram would.
    void deliver(const QString& text);

    QList<QString> sent;
    QList<QString> log;  ///< "bind 7031", "close", "send ..." in the order they happened
    int binds = 0;
    int closes = 0;
    QList<SocketError> bindErrors;  ///< taken in order by bind()
    QList<SocketError> sendErrors;  ///< taken in order by sendText()
    QList<SocketError> takeErrors;  ///< taken in order by takeText()

private:
    QString m_host;
    uint16_t m_local = 0;
    uint16_t m_remote = 0;
    bool m_bound = false;
    QList<QString> m_pending;
};
