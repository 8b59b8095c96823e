#pragma once

#include "platform/clock_worker.h"
#include "platform/system_clock.h"

/// The PC's clock, read locally and set with SetLocalTime on a worker thread, so that setting
/// never waits. Setting needs the right to change the system time; without it every request
/// is refused, the first refusal of each run is told on standard error, and the clock stays
/// as it is.
class LocalTimeClock : public ISystemClock {
public:
    /// Enables the right to set the clock where the user's token holds it.
    LocalTimeClock();

    /// The current local date and time, as the settings asked for and not yet carried out
    /// will leave it (unless the last answer was a refusal).
    QDateTime now() const override;
    /// Asks for the date, keeping the current time of day; false only for an invalid date.
    bool setDate(const QDate& date) override;
    /// Asks for dateTime (local time); false only for an invalid value.
    bool setTime(const QDateTime& dateTime) override;
    /// A timing run begins: its first refusal is told.
    void beginRun() override;

private:
    bool request(const QDateTime& target);

    ClockWorker m_worker;
};
