#pragma once

#include "platform/refusal_notice.h"
#include "platform/worker_clock.h"

#include <QString>
#include <functional>
#include <memory>

/// The PC's clock: read locally, set through the desktop's time service on the system bus, or
/// directly when that service is not there. Setting never waits: a worker thread talks to the
/// bus, one request after the other. A refusal is dropped there; the first of each run is
/// told on standard error.
class DesktopClock : public WorkerClock {
public:
    /// Sets CLOCK_REALTIME to milliseconds since the epoch (UTC); 0, or the errno of a refusal.
    using DirectSetter = std::function<int(qint64 msecUtc)>;

    /// What the clock reaches; tests replace each part.
    struct Access {
        QString busAddress;                   ///< the bus of the time service; empty: the system bus
        DirectSetter setDirectly;             ///< used where the bus has no time service
        std::function<qint64()> readMsecUtc;  ///< the system clock in ms since the epoch (UTC); empty: the real one
        RefusalNotice::Writer journal = {};   ///< takes the line of a run's first refusal; empty: stderr
    };

    /// The system bus, clock_settime where the bus has no time service, and standard error.
    DesktopClock();
    /// The clock reached through access.
    explicit DesktopClock(Access access);
    ~DesktopClock() override;
    DesktopClock(const DesktopClock&) = delete;
    DesktopClock& operator=(const DesktopClock&) = delete;

private:
    QString m_busAddress;
};
