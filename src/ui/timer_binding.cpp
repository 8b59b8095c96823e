#include "ui/timer_binding.h"

TimerBinding::TimerBinding(TimerModel& model, std::function<void()> handler, QObject* parent)
    : QObject(parent), m_model(model), m_handler(std::move(handler)), m_starts(model.starts())
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(model.interval());
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // A tick already queued when a handler disabled the timer must not run.
        if (m_model.enabled() && m_handler)
            m_handler();
    });
    m_model.changed = [this] { sync(); };
    sync();
}

TimerBinding::~TimerBinding()
{
    m_model.changed = nullptr;
}

void TimerBinding::sync()
{
    if (!m_model.enabled()) {
        m_timer.stop();
        return;
    }
    if (!m_timer.isActive() || m_model.starts() != m_starts) {
        m_starts = m_model.starts();
        m_timer.start();
    }
}
