#pragma once

#include "platform/system_clock.h"

/// The PC's clock: read locally, set through the desktop's time service on the system bus,
/// or directly when that service is not there.
class DesktopClock : public ISystemClock {
public:
    /// The current local date and time.
    QDateTime now() const override;
    /// Sets the date, keeping the current time of day; false when refused.
    bool setDate(const QDate& date) override;
    /// Sets the clock to dateTime (local time); false when refused.
    bool setTime(const QDateTime& dateTime) override;

private:
    static bool setClock(const QDateTime& dateTime);
};
