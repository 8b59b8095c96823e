#pragma once

#include "platform/local_address.h"

/// The local IPv4 address as Windows' routing chooses it.
class WinsockLocalAddress : public ILocalAddress {
public:
    /// The source address Windows would use toward host; else the first IPv4 address of an
    /// adapter that is up and not loopback; else 127.0.0.1.
    QString localIPv4(const QString& host) const override;
};
