#pragma once

#include "client/controls.h"

#include <QObject>
#include <QTimer>
#include <functional>

/// Drives a timer model with a precise QTimer: runs while the model is enabled, starts its
/// interval afresh whenever the model is (re)started, and calls the handler on each tick.
class TimerBinding : public QObject {
    Q_OBJECT
public:
    TimerBinding(TimerModel& model, std::function<void()> handler, QObject* parent = nullptr);
    ~TimerBinding() override;

    /// The timer behind the model.
    const QTimer& timer() const { return m_timer; }

private:
    void sync();

    TimerModel& m_model;
    std::function<void()> m_handler;
    QTimer m_timer;
    unsigned m_starts = 0;
};
