#pragma once

#include "client/controls.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

/// Drives a timer model with a precise QTimer: runs while the model is enabled, starts its
/// interval afresh whenever the model is (re)started, and calls the handler on each tick.
/// The ticks stay on the grid of the start: a tick missed while the process was stalled is
/// run late (up to a few), and the timer is brought back onto the grid.
class TimerBinding : public QObject {
    Q_OBJECT
public:
    TimerBinding(TimerModel& model, std::function<void()> handler, QObject* parent = nullptr);
    ~TimerBinding() override;

    /// The timer behind the model.
    const QTimer& timer() const { return m_timer; }

private:
    void sync();
    void restartGrid();
    void onTimeout();

    TimerModel& m_model;
    std::function<void()> m_handler;
    QTimer m_timer;
    unsigned m_starts = 0;
    QElapsedTimer m_since;     ///< time since the timer was (re)started
    qint64 m_ticksRun = 0;     ///< ticks run since then
    bool m_realigning = false; ///< the current shot is shortened to get back onto the grid
};
