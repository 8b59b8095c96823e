#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

/// A thread that sets the PC's clock, one request after the other, so that the window never
/// waits for it. A request that comes while another is being carried out waits; a newer one
/// replaces it, since each names the whole date and time. Refusals are reported once
/// (reportClockRefusal) and otherwise dropped.
class ClockWorker {
public:
    /// Sets the clock to msecUtc (milliseconds since the epoch, UTC); false when refused, with
    /// reason telling why.
    using Setter = std::function<bool(qint64 msecUtc, QString& reason)>;

    /// Starts the thread; set runs on it.
    explicit ClockWorker(Setter set);
    /// Waits for the request being carried out; one still waiting is dropped.
    ~ClockWorker();
    ClockWorker(const ClockWorker&) = delete;
    ClockWorker& operator=(const ClockWorker&) = delete;

    /// Asks for msecUtc, which is shiftMs ahead of the clock now.
    void post(qint64 msecUtc, qint64 shiftMs);
    /// How far the clock will move when what was asked has been carried out; 0 when everything
    /// is done or the last answer was a refusal.
    qint64 shiftMs() const;
    /// Waits up to ms milliseconds until every request has been answered; true then.
    bool waitUntilSettled(int ms) const;
    /// Whether the last answer was a refusal.
    bool lastRefused() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
