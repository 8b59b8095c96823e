#pragma once

#include "platform/local_address.h"

/// The local IPv4 address as the kernel's routing chooses it.
class KernelLocalAddress : public ILocalAddress {
public:
    /// The source address the kernel would use toward host; else the first IPv4 address of an
    /// interface that is up and running and not loopback; else 127.0.0.1.
    QString localIPv4(const QString& host) const override;
};
