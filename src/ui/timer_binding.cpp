#include "ui/timer_binding.h"

namespace {
// Most ticks run late in a row after a stall; a longer stall is not made up for, so a
// window coming back from a long freeze does not burst through a pile of old ticks.
constexpr qint64 kMaxCatchUp = 5;
// How far off the grid a tick may land before the timer is realigned, in milliseconds.
constexpr qint64 kGridTolerance = 2;
} // namespace

TimerBinding::TimerBinding(TimerModel& model, std::function<void()> handler, QObject* parent)
    : QObject(parent), m_model(model), m_handler(std::move(handler)), m_starts(model.starts())
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(model.interval());
    connect(&m_timer, &QTimer::timeout, this, &TimerBinding::onTimeout);
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
        restartGrid();
    }
}

void TimerBinding::restartGrid()
{
    m_realigning = false;
    m_ticksRun = 0;
    m_since.start();
    m_timer.start(m_model.interval());
}

void TimerBinding::onTimeout()
{
    const qint64 interval = m_model.interval();
    const unsigned starts = m_starts;
    // A precise timer that wakes more than a whole interval late skips the ticks in between;
    // they are run here instead, so the count of ticks keeps to the time elapsed.
    const qint64 due = m_since.elapsed() / interval;
    qint64 toRun = due - m_ticksRun;
    if (toRun < 1)
        toRun = 1;
    if (toRun > kMaxCatchUp) {
        m_ticksRun = due - 1;
        toRun = 1;
    }
    for (qint64 i = 0; i < toRun; ++i) {
        // A tick already queued when a handler disabled or restarted the timer must not run.
        if (!m_model.enabled() || m_starts != starts || !m_handler)
            return;
        ++m_ticksRun;
        m_handler();
    }
    if (!m_model.enabled() || m_starts != starts || !m_timer.isActive())
        return;

    // The next shot is aimed at the deadline of the next tick on the grid of the start: after
    // a late or early tick one shot is shortened or lengthened, then the interval runs as set.
    const qint64 untilNext = (m_ticksRun + 1) * interval - m_since.elapsed();
    if (untilNext < interval - kGridTolerance || untilNext > interval + kGridTolerance) {
        m_realigning = true;
        m_timer.start(int(qBound<qint64>(0, untilNext, 2 * interval)));
    } else if (m_realigning) {
        m_realigning = false;
        m_timer.start(int(interval));
    }
}
