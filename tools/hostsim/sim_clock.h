#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <utility>

/// The time the protocol checks measure with, and whether the simulator itself was held up.
class SimClock {
public:
    virtual ~SimClock() = default;
    /// Monotonic milliseconds.
    virtual int64_t nowMs() const = 0;
    /// True when the simulator was held up (not running its event loop on time) at some moment
    /// between fromMs and toMs: times it measured across such a moment say nothing about the peer.
    virtual bool heldUp(int64_t fromMs, int64_t toMs) const = 0;
};

/// The real clock: the monotonic clock, with a 10 ms heartbeat on the event loop that notes
/// every time the loop came round late (the process stalled, or the machine did).
class HeartbeatClock : public QObject, public SimClock {
    Q_OBJECT
public:
    /// A clock whose heartbeat starts at once.
    explicit HeartbeatClock(QObject* parent = nullptr);

    int64_t nowMs() const override;
    bool heldUp(int64_t fromMs, int64_t toMs) const override;

    /// A beat later than this after the one before counts as a hold-up.
    static constexpr int64_t kBeatMs = 10;
    static constexpr int64_t kHoldUpMs = kBeatMs + 25;

private:
    void beat();

    QElapsedTimer m_clock;
    QTimer m_heartbeat;
    int64_t m_lastBeat = 0;
    std::deque<std::pair<int64_t, int64_t>> m_holdUps;
};
