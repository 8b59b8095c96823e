#include "platform/clock_worker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

struct Request {
    qint64 msecUtc;
    Clock::time_point asked;
};

qint64 sinceAsked(const Request& r)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - r.asked).count();
}
} // namespace

struct ClockWorker::State {
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
            QString reason;
            const bool done = set(request.msecUtc + sinceAsked(request), reason);
            if (!done)
                notice.refused(reason);
            {
                std::lock_guard lock(mutex);
                refused = !done;
                if (!next)
                    newest.reset();
            }
            changed.notify_all();
        }
    }

    const Setter set;
    RefusalNotice notice;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::optional<Request> next;    ///< waiting for its turn
    std::optional<Request> newest;  ///< the last asked for, until every request is answered
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

void ClockWorker::post(qint64 msecUtc)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->next = Request{msecUtc, Clock::now()};
        m_state->newest = m_state->next;
    }
    m_state->changed.notify_all();
}

std::optional<qint64> ClockWorker::pendingMsecUtc() const
{
    std::lock_guard lock(m_state->mutex);
    // A request counts as on its way until it is answered, whatever became of the ones before
    // it: after a refusal the next request may well be carried out, and a date read meanwhile
    // from the unset clock would undo it.
    if (!m_state->newest)
        return std::nullopt;
    // Counted from the request alone: the clock may already show an older request's setting,
    // and a shift measured against the clock would then count twice.
    return m_state->newest->msecUtc + sinceAsked(*m_state->newest);
}

bool ClockWorker::waitUntilSettled(int ms) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_state->newest; });
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
