#include "platform/windows/winsock_local_address.h"

#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <optional>
#include <vector>

namespace {

QString dotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

/// Winsock for the length of one lookup; the start-up is counted, so Qt's own is untouched.
struct WinsockSession {
    bool started = false;
    WinsockSession()
    {
        WSADATA data{};
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession()
    {
        if (started)
            WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

// Connecting a UDP socket only chooses the route and source address; nothing is sent.
std::optional<QString> routedSource(const QString& host)
{
    in_addr remote{};
    if (inet_pton(AF_INET, host.toLatin1().constData(), &remote) != 1)
        return std::nullopt;
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);  // any port: the route does not depend on it
    to.sin_addr = remote;
    std::optional<QString> result;
    sockaddr_in local{};
    int length = sizeof local;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0
        && local.sin_addr.s_addr != htonl(INADDR_ANY))
        result = dotted(local.sin_addr);
    ::closesocket(s);
    return result;
}

std::optional<QString> firstAdapterAddress()
{
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the two calls; a few tries settle it.
    for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        rc = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (rc != NO_ERROR)
        return std::nullopt;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address && address->sa_family == AF_INET)
                return dotted(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
        }
    }
    return std::nullopt;
}

} // namespace

QString WinsockLocalAddress::localIPv4(const QString& host) const
{
    const WinsockSession session;
    if (auto address = routedSource(host); address && !address->isEmpty())
        return *address;
    if (auto address = firstAdapterAddress(); address && !address->isEmpty())
        return *address;
    return QStringLiteral("127.0.0.1");
}
