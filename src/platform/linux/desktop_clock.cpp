#include "platform/linux/desktop_clock.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QVariant>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <time.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");

// Long enough for the service to be started on demand. Only the worker waits for it, but the
// program's end waits for the worker, so it stays short.
constexpr int kCallTimeoutMs = 2000;

enum class BusResult { Done, Refused, Unavailable };

BusResult setOverBus(const QDBusConnection& bus, qint64 usecUtc)
{
    if (!bus.isConnected())
        return BusResult::Unavailable;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("SetTime"));
    // Absolute time (relative = false), and never ask the user for authorisation.
    call << QVariant::fromValue(usecUtc) << false << false;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return BusResult::Done;
    const QDBusError::ErrorType error = QDBusError(reply).type();
    // Only a missing service falls through to the direct setting; a refusal by the service
    // (no permission, automatic time synchronisation on) is the system's answer and stands,
    // and so does no answer at all.
    if (error == QDBusError::ServiceUnknown || error == QDBusError::NoServer || error == QDBusError::Disconnected
        || error == QDBusError::UnknownObject || error == QDBusError::UnknownInterface
        || error == QDBusError::UnknownMethod)
        return BusResult::Unavailable;
    return BusResult::Refused;
}

bool setWithClockSettime(qint64 msecUtc)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(msecUtc / 1000);
    ts.tv_nsec = static_cast<long>((msecUtc % 1000) * 1'000'000);
    if (ts.tv_nsec < 0) {
        ts.tv_sec -= 1;
        ts.tv_nsec += 1'000'000'000L;
    }
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

} // namespace

/// The thread that sets the clock, one request at a time. A request that comes while another
/// is being answered waits; a newer one replaces it, since each names the whole date and time.
class DesktopClock::Worker {
public:
    Worker(QString busAddress, DirectSetter setDirectly)
        : m_busAddress(std::move(busAddress)), m_setDirectly(std::move(setDirectly)),
          m_thread([this] { run(); })
    {
    }
    ~Worker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void post(qint64 msecUtc, qint64 shiftMs)
    {
        {
            std::lock_guard lock(m_mutex);
            m_next = Request{msecUtc, Clock::now()};
            m_shiftMs = shiftMs;
            m_unsettled = true;
        }
        m_changed.notify_all();
    }

    qint64 shiftMs() const
    {
        std::lock_guard lock(m_mutex);
        return m_unsettled && !m_lastRefused ? m_shiftMs : 0;
    }

    bool waitUntilSettled(int ms) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_unsettled; });
    }

    bool lastRefused() const
    {
        std::lock_guard lock(m_mutex);
        return m_lastRefused;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Request {
        qint64 msecUtc;
        Clock::time_point asked;
    };

    QDBusConnection connect() const
    {
        if (m_busAddress.isEmpty())
            return QDBusConnection::systemBus();
        return QDBusConnection::connectToBus(m_busAddress, connectionName());
    }
    QString connectionName() const
    {
        return QStringLiteral("rivect-clock-%1").arg(quintptr(this), 0, 16);
    }

    void run()
    {
        // Connected on first use, here: connecting to a hung bus must not hold the window.
        std::optional<QDBusConnection> bus;
        for (;;) {
            Request request;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || m_next; });
                if (m_stop)
                    break;
                request = *m_next;
                m_next.reset();
            }
            if (!bus)
                bus = connect();
            // The time asked for is that much later now that its turn has come.
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - request.asked);
            const qint64 target = request.msecUtc + waited.count();
            bool done = false;
            switch (setOverBus(*bus, target * 1000)) {
            case BusResult::Done: done = true; break;
            case BusResult::Refused: done = false; break;
            case BusResult::Unavailable: done = m_setDirectly && m_setDirectly(target); break;
            }
            {
                std::lock_guard lock(m_mutex);
                m_lastRefused = !done;
                if (!m_next)
                    m_unsettled = false;
            }
            m_changed.notify_all();
        }
        bus.reset();
        if (!m_busAddress.isEmpty())
            QDBusConnection::disconnectFromBus(connectionName());
    }

    const QString m_busAddress;
    const DirectSetter m_setDirectly;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::optional<Request> m_next;
    qint64 m_shiftMs = 0;
    bool m_unsettled = false;
    bool m_lastRefused = false;
    bool m_stop = false;
    std::thread m_thread;  // last: it starts with every other member in place
};

DesktopClock::DesktopClock() : DesktopClock(QString(), setWithClockSettime) {}

DesktopClock::DesktopClock(QString busAddress, DirectSetter setDirectly)
    : m_worker(std::make_unique<Worker>(std::move(busAddress), std::move(setDirectly)))
{
}

DesktopClock::~DesktopClock() = default;

QDateTime DesktopClock::now() const
{
    // A setting on its way is taken as done, so that what a caller reads right after asking
    // (the date just set, say) is what the clock is about to show.
    return QDateTime::currentDateTime().addMSecs(m_worker->shiftMs());
}

bool DesktopClock::setDate(const QDate& date)
{
    if (!date.isValid())
        return false;
    return request(QDateTime(date, now().time()));
}

bool DesktopClock::setTime(const QDateTime& dateTime)
{
    return request(dateTime);
}

bool DesktopClock::request(const QDateTime& target)
{
    if (!target.isValid())
        return false;
    m_worker->post(target.toMSecsSinceEpoch(), QDateTime::currentDateTime().msecsTo(target));
    return true;
}

bool DesktopClock::waitUntilSettled(int ms) const
{
    return m_worker->waitUntilSettled(ms);
}

bool DesktopClock::lastRefused() const
{
    return m_worker->lastRefused();
}
