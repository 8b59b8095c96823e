#include "platform/linux/kernel_local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace {

QString dotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

// Connecting a UDP socket only chooses the route and source address; nothing is sent.
std::optional<QString> routedSource(const QString& host)
{
    in_addr remote{};
    if (inet_pton(AF_INET, host.toLatin1().constData(), &remote) != 1)
        return std::nullopt;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);  // any port: the route does not depend on it
    to.sin_addr = remote;
    std::optional<QString> result;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0
        && local.sin_addr.s_addr != htonl(INADDR_ANY))
        result = dotted(local.sin_addr);
    ::close(fd);
    return result;
}

std::optional<QString> firstInterfaceAddress()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<QString> result;
    constexpr unsigned kWanted = IFF_UP | IFF_RUNNING;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & kWanted) != kWanted || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        result = dotted(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
        break;
    }
    freeifaddrs(list);
    return result;
}

} // namespace

QString KernelLocalAddress::localIPv4(const QString& host) const
{
    if (auto address = routedSource(host); address && !address->isEmpty())
        return *address;
    if (auto address = firstInterfaceAddress(); address && !address->isEmpty())
        return *address;
    return QStringLiteral("127.0.0.1");
}
