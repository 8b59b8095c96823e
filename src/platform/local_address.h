#pragma once

#include <QString>

/// The PC's own IPv4 address.
class ILocalAddress {
public:
    virtual ~ILocalAddress() = default;
    /// The local IPv4 address, as dotted text, that traffic toward host would leave from.
    virtual QString localIPv4(const QString& host) const = 0;
};
