#include "platform/clock_worker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
} // namespace

struct ClockWorker::State {
    struct Request {
        qint64 msecUtc;
        Clock::time_point asked;
    };

    State(Setter s, RefusalNotice::Writer journal)
        : set(std::move(s)), notice(QStringLiteral("the PC's clock was not set from the host"), std::move(journal)),
          thread([this] { run(); })
    {
    }

    void run()
    {
        for (;;) {
            Request request;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return stop || next; });
                if (stop)
                    return;
                request = *next;
                next.reset();
            }
            // The time asked for is that much later now that its turn has come.
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - request.asked);
            QString reason;
            const bool done = set(request.msecUtc + waited.count(), reason);
            if (!done)
                notice.refused(reason);
            {
                std::lock_guard lock(mutex);
                refused = !done;
                if (!next)
                    unsettled = false;
            }
            changed.notify_all();
        }
    }

    const Setter set;
    RefusalNotice notice;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::optional<Request> next;
    qint64 shift = 0;
    bool unsettled = false;
    bool refused = false;
    bool stop = false;
    std::thread thread;  // last: it starts with every other member in place
};

ClockWorker::ClockWorker(Setter set, RefusalNotice::Writer journal)
    : m_state(std::make_unique<State>(std::move(set), std::move(journal)))
{
}

ClockWorker::~ClockWorker()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stop = true;
    }
    m_state->changed.notify_all();
    m_state->thread.join();
}

void ClockWorker::post(qint64 msecUtc, qint64 shiftMs)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->next = State::Request{msecUtc, Clock::now()};
        m_state->shift = shiftMs;
        m_state->unsettled = true;
    }
    m_state->changed.notify_all();
}

qint64 ClockWorker::shiftMs() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->unsettled && !m_state->refused ? m_state->shift : 0;
}

bool ClockWorker::waitUntilSettled(int ms) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_state->unsettled; });
}

bool ClockWorker::lastRefused() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->refused;
}

void ClockWorker::beginRun()
{
    m_state->notice.beginRun();
}
