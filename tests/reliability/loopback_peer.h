#pragma once

#include "live_window.h"

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace live {

/// A plain UDP socket on 127.0.0.1, outside Qt, usable from any thread.
class RawSocket {
public:
    /// Binds 127.0.0.1:port (0: any free port); ok() tells whether that worked.
    explicit RawSocket(uint16_t port = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = address(port);
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        timeval tv{0, 50'000};
        if (m_ok)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~RawSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool ok() const { return m_ok; }

    /// Sends bytes to 127.0.0.1:port; true when the kernel took the whole datagram.
    bool sendTo(uint16_t port, const QByteArray& bytes) const
    {
        const sockaddr_in to = address(port);
        return ::sendto(m_fd, bytes.constData(), size_t(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to)
            == bytes.size();
    }

    /// Waits up to 50 ms for a datagram; false when none came.
    bool receive(QByteArray& bytes, uint16_t* fromPort = nullptr) const
    {
        bytes.resize(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, bytes.data(), size_t(bytes.size()), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return false;
        bytes.truncate(n);
        if (fromPort)
            *fromPort = ntohs(from.sin_port);
        return true;
    }

    static sockaddr_in address(uint16_t port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

/// The host's end of the timing pair: a thread that receives on 127.0.0.1:port and notes when
/// each datagram came and what it held.
class HostPeer {
public:
    explicit HostPeer(uint16_t port) : m_socket(port)
    {
        if (m_socket.ok())
            m_thread = std::thread([this] { run(); });
    }
    ~HostPeer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    HostPeer(const HostPeer&) = delete;
    HostPeer& operator=(const HostPeer&) = delete;

    bool ok() const { return m_socket.ok(); }

    /// Datagrams that arrived within [from, to) of nowMs().
    int countBetween(qint64 from, qint64 to) const
    {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const auto& [t, bytes] : m_seen)
            n += (t >= from && t < to) ? 1 : 0;
        return n;
    }
    int count() const
    {
        std::lock_guard lock(m_mutex);
        return int(m_seen.size());
    }
    /// When each datagram arrived (nowMs()), oldest first.
    QList<qint64> times() const
    {
        std::lock_guard lock(m_mutex);
        QList<qint64> out;
        for (const auto& [t, bytes] : m_seen)
            out.append(t);
        return out;
    }
    /// The datagrams received so far, oldest first.
    QList<QByteArray> payloads() const
    {
        std::lock_guard lock(m_mutex);
        QList<QByteArray> out;
        for (const auto& [t, bytes] : m_seen)
            out.append(bytes);
        return out;
    }
    /// Sender ports seen (all datagrams must come from the car's client port).
    QList<uint16_t> senderPorts() const
    {
        std::lock_guard lock(m_mutex);
        return m_ports;
    }

private:
    void run()
    {
        QByteArray bytes;
        while (!m_stop) {
            uint16_t from = 0;
            if (!m_socket.receive(bytes, &from))
                continue;
            std::lock_guard lock(m_mutex);
            m_seen.emplace_back(nowMs(), bytes);
            if (!m_ports.contains(from))
                m_ports.append(from);
        }
    }

    RawSocket m_socket;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::pair<qint64, QByteArray>> m_seen;
    QList<uint16_t> m_ports;
};

} // namespace live
