#pragma once

#include <QDate>
#include <QDateTime>

/// The PC's date and time of day: read, and set when the system allows it.
class ISystemClock {
public:
    virtual ~ISystemClock() = default;
    /// The current local date and time.
    virtual QDateTime now() const = 0;
    /// Sets the system date, keeping the time of day; false when refused at once (a refusal
    /// that comes later is dropped). Never waits.
    virtual bool setDate(const QDate& date) = 0;
    /// Sets the system time of day, keeping the date of the value given; false as for setDate.
    virtual bool setTime(const QDateTime& dateTime) = 0;
    /// A timing run begins: the first refusal to set the clock from now on is told again.
    virtual void beginRun() {}
};
