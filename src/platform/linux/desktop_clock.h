#pragma once

#include "platform/system_clock.h"

#include <QString>
#include <functional>
#include <memory>

/// The PC's clock: read locally, set through the desktop's time service on the system bus, or
/// directly when that service is not there. Setting never waits: a worker thread talks to the
/// bus, one request after the other, and a refusal is dropped there.
class DesktopClock : public ISystemClock {
public:
    /// Sets CLOCK_REALTIME to milliseconds since the epoch (UTC); false when refused.
    using DirectSetter = std::function<bool(qint64 msecUtc)>;

    /// The system bus, and clock_settime where the bus has no time service.
    DesktopClock();
    /// The bus at busAddress, and setDirectly in place of clock_settime.
    DesktopClock(QString busAddress, DirectSetter setDirectly);
    ~DesktopClock() override;
    DesktopClock(const DesktopClock&) = delete;
    DesktopClock& operator=(const DesktopClock&) = delete;

    /// The current local date and time, as the settings asked for and not yet answered will
    /// leave it (unless the last answer was a refusal).
    QDateTime now() const override;
    /// Asks for the date, keeping the current time of day; false only for an invalid date.
    bool setDate(const QDate& date) override;
    /// Asks for dateTime (local time); false only for an invalid value.
    bool setTime(const QDateTime& dateTime) override;

    /// Waits up to ms milliseconds until every setting asked for has been answered; true then.
    bool waitUntilSettled(int ms) const;
    /// Whether the last answer was a refusal.
    bool lastRefused() const;

private:
    class Worker;
    bool request(const QDateTime& target);

    std::unique_ptr<Worker> m_worker;
};
