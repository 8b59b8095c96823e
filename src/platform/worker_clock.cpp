#include "platform/worker_clock.h"

WorkerClock::WorkerClock(ClockWorker::Setter set, RefusalNotice::Writer journal, std::function<qint64()> readMsecUtc)
    : m_readMsecUtc(readMsecUtc ? std::move(readMsecUtc) : &QDateTime::currentMSecsSinceEpoch),
      m_worker(std::make_unique<ClockWorker>(std::move(set), std::move(journal)))
{
}

WorkerClock::~WorkerClock() = default;

void WorkerClock::stopWorker()
{
    m_worker.reset();
}

QDateTime WorkerClock::now() const
{
    // A setting on its way is taken as done, so that what a caller reads right after asking
    // (the date just set, say) is what the clock is about to show.
    const std::optional<qint64> pending = m_worker ? m_worker->pendingMsecUtc() : std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(pending ? *pending : m_readMsecUtc());
}

bool WorkerClock::setDate(const QDate& date)
{
    if (!date.isValid())
        return false;
    return request(QDateTime(date, now().time()));
}

bool WorkerClock::setTime(const QDateTime& dateTime)
{
    return request(dateTime);
}

bool WorkerClock::request(const QDateTime& target)
{
    if (!target.isValid() || !m_worker)
        return false;
    m_worker->post(target.toMSecsSinceEpoch());
    return true;
}

void WorkerClock::beginRun()
{
    if (m_worker)
        m_worker->beginRun();
}

bool WorkerClock::waitUntilSettled(int ms) const
{
    return !m_worker || m_worker->waitUntilSettled(ms);
}

bool WorkerClock::lastRefused() const
{
    return m_worker && m_worker->lastRefused();
}
