#pragma once

#include "platform/refusal_notice.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

/// A thread that sets the PC's clock, one request after the other, so that the window never
/// waits for it. A request that comes while another is being carried out waits; a newer one
/// replaces it, since each names the whole date and time. A refusal is dropped; the first of
/// each run is told in one line.
class ClockWorker {
public:
    /// Sets the clock to msecUtc (milliseconds since the epoch, UTC); false when refused, with
    /// reason telling why.
    using Setter = std::function<bool(qint64 msecUtc, QString& reason)>;

    /// Starts the thread; set runs on it. journal takes the line of a run's first refusal
    /// (empty: standard error).
    explicit ClockWorker(Setter set, RefusalNotice::Writer journal = {});
    /// Waits for the request being carried out; one still waiting is dropped.
    ~ClockWorker();
    ClockWorker(const ClockWorker&) = delete;
    ClockWorker& operator=(const ClockWorker&) = delete;

    /// Asks for msecUtc.
    void post(qint64 msecUtc);
    /// The time the newest request will leave on the clock, while it is unanswered.
    std::optional<qint64> pendingMsecUtc() const;
    /// Waits up to ms milliseconds until every request has been answered; true then.
    bool waitUntilSettled(int ms) const;
    /// Whether the last answer was a refusal.
    bool lastRefused() const;
    /// A timing run begins: its first refusal is told.
    void beginRun();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
