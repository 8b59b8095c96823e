#pragma once

#include "platform/clock_worker.h"
#include "platform/system_clock.h"

#include <functional>
#include <memory>

/// The PC's clock, read locally and set by a worker thread, so that setting never waits. What
/// sets it is the OS's; a refusal is dropped there, the first of each run told in one line.
class WorkerClock : public ISystemClock {
public:
    /// set carries out a setting on the worker thread; journal takes the line of a run's first
    /// refusal (empty: standard error); readMsecUtc reads the clock (empty: the real one).
    WorkerClock(ClockWorker::Setter set, RefusalNotice::Writer journal = {},
                std::function<qint64()> readMsecUtc = {});
    ~WorkerClock() override;

    /// The current local date and time, as the newest setting asked for and not yet answered
    /// will leave it.
    QDateTime now() const override;
    /// Asks for the date, keeping the current time of day; false only for an invalid date.
    bool setDate(const QDate& date) override;
    /// Asks for dateTime (local time); false only for an invalid value.
    bool setTime(const QDateTime& dateTime) override;
    /// A timing run begins: its first refusal is told.
    void beginRun() override;

    /// Waits up to ms milliseconds until every setting asked for has been answered; true then.
    bool waitUntilSettled(int ms) const;
    /// Whether the last answer was a refusal.
    bool lastRefused() const;

protected:
    /// Waits for the setting being carried out and ends the thread, for a clock that must
    /// release what its setter uses.
    void stopWorker();

private:
    bool request(const QDateTime& target);

    std::function<qint64()> m_readMsecUtc;
    std::unique_ptr<ClockWorker> m_worker;
};
