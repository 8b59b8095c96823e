#pragma once

#include <QByteArray>

#include <net/if.h>

/// True when the network namespace holds the loopback interface and nothing else, so a test may
/// send to addresses that would otherwise leave the machine.
inline bool onlyLoopback()
{
    struct if_nameindex* names = if_nameindex();
    if (!names)
        return false;
    int count = 0;
    bool lo = false;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
        ++count;
        lo = lo || QByteArray(n->if_name) == "lo";
    }
    if_freenameindex(names);
    return count == 1 && lo;
}
